// The list dialog of a build without a screen: command 3 leaves the box's work file as the
// drawn dialog's opening would, so the host's next commit finds it.
#include "ui/distribution_list.h"

namespace wbfax {

int RunListDialog(ListSession &session) {
    OpenList(session);
    return 2;
}

}  // namespace wbfax
