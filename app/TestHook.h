#pragma once

namespace platform {
class IUi;
}

// Test builds only (CMake option MINATORI_TEST_HOOK): lets a test drive the
// real program from outside. When the environment variable MINATORI_TEST_HOOK
// names a local socket, the program listens there for the test's commands and
// answers the UI seam's questions that the test scripted ahead; the real seam
// `ui` shows whatever was not scripted. Without the variable nothing changes.
void StartTestHook(platform::IUi &ui);
