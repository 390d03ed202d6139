#include "formfont.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QScreen>

namespace {
#ifndef Q_OS_WIN
const QString Family = QStringLiteral("Tahoma");
// Windows draws its 8.25 pt at 96 dpi as 11 px, and the forms' geometry is in
// pixels: the same 11 px whatever dots per inch this screen reports.
constexpr qreal PixelSize = 11.0;

// Where Wine's font package puts its Tahoma (regular and bold: the group box
// titles are bold), a folder that fontconfig does not search.
const char *const WineFontDirs[] = {"/usr/share/wine/fonts/", "/usr/local/share/wine/fonts/"};

bool tahomaAvailable()
{
    // Asks the database, not a font's resolution: that would be cached with
    // its fallback before the font file is added.
    return QFontDatabase().hasFamily(Family);
}
#endif
} // namespace

QString useFormFont()
{
#ifdef Q_OS_WIN
    return QString();
#else
    if (!tahomaAvailable()) {
        for (const char *dir : WineFontDirs) {
            const QString regular = QLatin1String(dir) + QStringLiteral("tahoma.ttf");
            if (!QFile::exists(regular))
                continue;
            QFontDatabase::addApplicationFont(regular);
            QFontDatabase::addApplicationFont(QLatin1String(dir) + QStringLiteral("tahomabd.ttf"));
            break;
        }
        if (!tahomaAvailable())
            return QString();
    }
    QFont font(Family);
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen && screen->logicalDotsPerInchY() > 0 ? screen->logicalDotsPerInchY() : 96.0;
    // In points, so that code that scales by the font's point size goes on working.
    font.setPointSizeF(PixelSize * 72.0 / dpi);
    QApplication::setFont(font);
    return Family;
#endif
}
