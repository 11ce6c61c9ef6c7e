#include "notification/notify.h"

namespace wbfax {

// No sender program is handed jobs yet: nobody is notified.
int NotifyReceivedFax(std::string_view, std::string_view, std::string_view, std::uint32_t, std::string_view,
                      std::uint32_t, std::uint32_t, std::string_view, std::string_view, std::string_view) {
    return 0;
}

}  // namespace wbfax
