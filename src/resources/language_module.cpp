// WbFaxRcvLC.so, the language module of the POSIX build: the English string table, which the
// module's resource loader finds under this name.
extern "C" __attribute__((visibility("default"))) const char *wbfaxResourceString(int id) {
    switch (id) {
#define WBFAX_STRING(number, japanese, english) \
    case number: return english;
#include "resources/strings.def"
#undef WBFAX_STRING
    default: return nullptr;
    }
}
