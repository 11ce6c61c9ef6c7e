// The string table as the host stand-in prints it: UTF-8, Japanese (the module's own texts) when
// the configuration's language is Japanese, else the language module's English.
#pragma once

namespace quillbox {

const char *TableText(int id, bool japanese);

// The configuration's Language is Japanese. The module must have been started in-process.
bool ConfiguredJapanese();

}  // namespace quillbox
