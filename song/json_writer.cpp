#include "song/json_writer.h"
#include <nlohmann/json.hpp>

namespace {

constexpr size_t chunkBytes = 1 << 16;

void flush(JsonWriter& writer) {
    if (!writer.failed && !writer.buffer.empty()) writer.failed = !writer.sink(writer.buffer);
    writer.buffer.clear();
}

void newLine(JsonWriter& writer, size_t depth) {
    writer.buffer += '\n';
    writer.buffer.append(2 * depth, ' ');
}

// Puts the separator and indentation before a list element or a key.
void startEntry(JsonWriter& writer) {
    if (writer.afterKey) {
        writer.afterKey = false;
        return;
    }
    if (writer.open.empty()) return;
    auto& [closer, filled] = writer.open.back();
    if (filled) writer.buffer += ',';
    filled = true;
    newLine(writer, writer.open.size());
    if (writer.buffer.size() >= chunkBytes) flush(writer);
}

void begin(JsonWriter& writer, char opener, char closer) {
    startEntry(writer);
    writer.buffer += opener;
    writer.open.push_back({closer, false});
}

}  // namespace

void jsonBeginObject(JsonWriter& writer) { begin(writer, '{', '}'); }

void jsonBeginList(JsonWriter& writer) { begin(writer, '[', ']'); }

void jsonEnd(JsonWriter& writer) {
    const auto [closer, filled] = writer.open.back();
    writer.open.pop_back();
    if (filled) newLine(writer, writer.open.size());
    writer.buffer += closer;
}

void jsonKey(JsonWriter& writer, std::string_view key) {
    jsonString(writer, key);
    writer.buffer += ": ";
    writer.afterKey = true;
}

void jsonNumber(JsonWriter& writer, int64_t value) {
    startEntry(writer);
    writer.buffer += std::to_string(value);
}

void jsonString(JsonWriter& writer, std::string_view text) {
    startEntry(writer);
    using nlohmann::json;
    writer.buffer += json(std::string(text)).dump(-1, ' ', false, json::error_handler_t::replace);
}

void jsonNull(JsonWriter& writer) {
    startEntry(writer);
    writer.buffer += "null";
}

bool jsonFinish(JsonWriter& writer) {
    flush(writer);
    return !writer.failed;
}
