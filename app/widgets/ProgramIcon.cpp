#include "app/widgets/ProgramIcon.h"

// The resource lives in a static library: make sure it is registered.
static void initResources() {
    Q_INIT_RESOURCE(app_resources);
}

QIcon ProgramIcon() {
    static const bool registered = (initResources(), true);
    (void)registered;
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/moviloomster/moviloomster-%1.png").arg(size),
                     QSize(size, size));
    }
    return icon;
}
