#include "base/module.h"


namespace wbfax {

ModuleState &Module() {
    static ModuleState state;
    return state;
}

}  // namespace wbfax
