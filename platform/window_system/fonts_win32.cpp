// On Windows, Qt picks the font for Thai text itself when the UI font has no Thai
// (Segoe UI has none; "MS Shell Dlg", Qt's choice under Wine, is only an alias): it takes
// the first family that claims Thai, whatever its looks and line height. Under Wine that
// was a math font with a line box three times the UI font's. A line edit centres its
// text by the tallest line box in it but puts the baseline where the UI font has it, so
// the name box drew such a name shifted up out of view. Windows itself draws Thai in its
// UI with Leelawadee UI (Tahoma before Windows 8) through font linking: name that font
// after the UI font, or, on a system without them, the first family that draws Thai.

#include "platform/window_system/fonts.h"

#include <QApplication>
#include <QFontDatabase>
#include <QRawFont>

namespace fonts {

namespace {

constexpr char32_t ThaiKoKai = 0x0E01;  // the first Thai letter

bool drawsThai(const QString &family)
{
    QFont font(family);
    font.setStyleStrategy(QFont::NoFontMerging);
    const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::Thai);
    return raw.isValid() && raw.familyName().compare(family, Qt::CaseInsensitive) == 0
        && raw.supportsCharacter(ThaiKoKai);
}

} // namespace

void addThaiFallback()
{
    QFont font = QApplication::font();
    if (drawsThai(font.family()))
        return;
    QStringList candidates = {QStringLiteral("Leelawadee UI"), QStringLiteral("Tahoma"),
                              QStringLiteral("Microsoft Sans Serif")};
    candidates += QFontDatabase::families(QFontDatabase::Thai);
    for (const QString &family : std::as_const(candidates)) {
        if (drawsThai(family)) {
            font.setFamilies({font.family(), family});
            QApplication::setFont(font);
            return;
        }
    }
}

} // namespace fonts
