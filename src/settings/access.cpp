#include "settings/access.h"

#include "base/services.h"

namespace wbfax {

platform::Stream OpenWithOpenAccess(std::string_view path, const char *mode, platform::Disposition disposition) {
    if (!platform::CreateFileWithOpenAccess(path, disposition)) return {};
    return platform::Stream::Open(path, mode);
}

int GrantOpenAccessFor(int osClass, std::string_view path) {
    switch (osClass) {
    case 2: return platform::GrantEveryoneAccess(path) ? 1 : 0;
    case 3: return platform::GrantInheritableOpenAccess(path) ? 1 : 0;
    default: return 1;  // no access lists on old systems
    }
}

int GrantOpenAccess(std::string_view path) { return GrantOpenAccessFor(OsVersionClass(), path); }

}  // namespace wbfax
