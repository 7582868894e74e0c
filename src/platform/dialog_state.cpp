// The dialog's live state, shared by the dialog's window (dialog_imgui.cpp) and the
// browser build, which has none.
#include "platform/dialog.h"

namespace platform {

DialogItem& DialogState::item(int id)
{
    for (DialogItem& it : items) {
        if (it.id == id) {
            return it;
        }
    }
    items.push_back(DialogItem());
    items.back().id = id;
    return items.back();
}

const DialogItem* DialogState::find(int id) const
{
    for (const DialogItem& it : items) {
        if (it.id == id) {
            return &it;
        }
    }
    return nullptr;
}

}  // namespace platform
