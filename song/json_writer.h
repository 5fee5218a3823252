#pragma once
// Writes JSON text as it is produced, laid out as nlohmann's dump(2) lays it
// out (every non-empty object and list opened over several lines, two spaces
// per level), so a large document never has to be held as a tree. Text goes
// to the sink in chunks; once the sink fails, nothing more is written.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Takes the next chunk of text; false when it cannot be written.
using TextSink = std::function<bool(std::string_view)>;

struct JsonWriter {
    TextSink sink;
    std::string buffer;
    // Per open object or list: its closing character and whether it holds
    // anything yet.
    std::vector<std::pair<char, bool>> open;
    bool afterKey = false;  // a key was written and waits for its value
    bool failed = false;
};

void jsonBeginObject(JsonWriter& writer);
void jsonBeginList(JsonWriter& writer);
// Closes the innermost object or list.
void jsonEnd(JsonWriter& writer);
void jsonKey(JsonWriter& writer, std::string_view key);
void jsonNumber(JsonWriter& writer, int64_t value);
// Escaped as nlohmann escapes; bytes that are not UTF-8 become U+FFFD.
void jsonString(JsonWriter& writer, std::string_view text);
void jsonNull(JsonWriter& writer);
// Writes what is buffered; false if the sink failed at any point.
bool jsonFinish(JsonWriter& writer);
