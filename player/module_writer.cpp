#include "player/module_writer.h"

std::vector<uint8_t> buildPatchBank(const std::vector<PatchRecord>& patches) { (void)patches; return {}; }
void appendPatchRecord(std::vector<uint8_t>& out, const PatchRecord& patch) { (void)out; (void)patch; }
bool writeModule(const ModuleSource& source, std::vector<uint8_t>& image, std::string& reason) { (void)source; (void)image; reason = "not implemented"; return false; }
