#include "quillbox-host/texts.h"

#include "base/text.h"
#include "settings/config.h"

namespace quillbox {

const char *TableText(int id, bool japanese) {
    switch (id) {
#define WBFAX_STRING(number, japaneseText, englishText) \
    case number: return japanese ? japaneseText : englishText;
#include "resources/strings.def"
#undef WBFAX_STRING
    default: return "";
    }
}

bool ConfiguredJapanese() { return wbfax::EqualsIgnoringCase(wbfax::ReadLanguage().name, "Japanese"); }

}  // namespace quillbox
