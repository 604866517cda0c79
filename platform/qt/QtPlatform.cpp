#include "platform/qt/QtPlatform.h"

namespace korven::qt {

#ifdef KORVEN_PLATFORM_EPOLL
QtPlatform::QtPlatform(Dialogs& dialogs) : backend_(makeEpollBackend(clock_)), dialogs_(dialogs) {}
const char* QtPlatform::backendName() {
  return "Linux (epoll set under Qt's loop)";
}
#else
QtPlatform::QtPlatform(Dialogs& dialogs) : backend_(makeQtBackend(clock_)), dialogs_(dialogs) {}
const char* QtPlatform::backendName() {
  return "Qt only";
}
#endif

}  // namespace korven::qt
