#include "platform/UiSeam.h"

#include <QtGlobal>
#include <atomic>

namespace platform {

namespace {
std::atomic<IUi *> g_ui{nullptr};
}

IUi &Ui() {
    IUi *ui = g_ui.load();
    if (!ui)
        qFatal("no user-interface seam installed");
    return *ui;
}

void SetUi(IUi *ui) {
    g_ui.store(ui);
}

} // namespace platform
