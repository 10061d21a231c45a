#include "FileTypes.h"

#ifdef Q_OS_WIN
#include <QSettings>
#endif

TFileTypeNames ReadFileTypeNames() {
    TFileTypeNames names;
#ifdef Q_OS_WIN
    const std::pair<const char*, QString*> keys[] = {{"htmlfile", &names.Html},
                                                     {"txtfile", &names.Text},
                                                     {"Word.Document", &names.Word},
                                                     {"Excel.Sheet", &names.Excel}};
    for (const auto& [key, target] : keys) {
        QSettings root(QStringLiteral("HKEY_CLASSES_ROOT\\") + QLatin1String(key),
                       QSettings::NativeFormat);
        if (root.childKeys().isEmpty() && root.childGroups().isEmpty()) continue; // no such key
        const QVariant v = root.value(QStringLiteral("Default"));
        if (v.isValid() && v.typeId() != QMetaType::QString)
            break; // a failed read ends the look-ups
        *target = v.toString();
    }
#endif
    return names;
}
