#include "Settings.h"

#include <QDir>
#include <QRegularExpression>
#include <QSettings>

namespace {

enum class TLocation { Platform, Folder, None };

struct TLocationState {
    TLocation Kind = TLocation::Platform;
    QString Folder;
};

TLocationState& Location() {
    static TLocationState state;
    return state;
}

// Integers only: a registry string or a text in the file must read as a whole number.
bool ToInt(const QVariant& v, int& out) {
    if (!v.isValid()) return false;
    bool ok = false;
    int value = 0;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        value = static_cast<int>(v.toLongLong(&ok));
        break;
    case QMetaType::QString:
    case QMetaType::QByteArray:
        value = v.toString().trimmed().toInt(&ok);
        break;
    default:
        return false;
    }
    if (!ok) return false;
    out = value;
    return true;
}

} // namespace

TSettingsStore::TSettingsStore(const QString& programTitle) {
    const TLocationState& where = Location();
    switch (where.Kind) {
    case TLocation::Platform:
        // No application name: the values sit directly under the title's key.
        FSettings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                programTitle, QString());
        break;
    case TLocation::Folder:
        FSettings = std::make_unique<QSettings>(where.Folder + QLatin1Char('/') + programTitle +
                                                    QStringLiteral(".conf"),
                                                QSettings::IniFormat);
        break;
    case TLocation::None:
        break;
    }
}

TSettingsStore::~TSettingsStore() = default;

void TSettingsStore::UsePlatform() {
    Location() = {TLocation::Platform, QString()};
}

void TSettingsStore::UseFolder(const QString& folder) {
    Location() = {TLocation::Folder, folder};
}

void TSettingsStore::UseNone() {
    Location() = {TLocation::None, QString()};
}

bool TSettingsStore::IsNone() {
    return Location().Kind == TLocation::None;
}

bool TSettingsStore::ReadInt(const QString& name, int& value) const {
    return FSettings && ToInt(FSettings->value(name), value);
}

QVariant TSettingsStore::Value(const QString& name, const QVariant& fallback) const {
    return FSettings ? FSettings->value(name, fallback) : fallback;
}

void TSettingsStore::SetValue(const QString& name, const QVariant& value) {
    if (FSettings) FSettings->setValue(name, value);
}

bool TSettingsStore::Sync() {
    if (!FSettings) return true;
    FSettings->sync();
    return FSettings->status() == QSettings::NoError;
}

bool TSettingsStore::IsWritable() const {
    return !FSettings || FSettings->isWritable();
}

QString TSettingsStore::Place() const {
    return FSettings ? QDir::toNativeSeparators(FSettings->fileName()) : QString();
}

int TSettingsStore::Read(TStoredSettings& s) const {
    int count = 0;
    int v = 0;
    auto read = [&](const char* name) {
        if (!ReadInt(QLatin1String(name), v)) return false;
        ++count;
        return true;
    };
    // Each value applies as soon as it is read; the first gap ends the reading.
    if (!read("Port")) return count;
    s.Port = v;
    if (!read("Alg")) return count;
    // A sense the dialog has no entry for would come back from it as "no sense", which
    // locks the port choice for good; a negative value keeps locking it.
    s.Alg = qBound(-1, v, 1);
    if (!read("Left")) return count;
    s.Left = v;
    s.PositionRead = true;
    if (!read("Top")) return count;
    s.Top = v;
    if (!read("Width")) return count;
    s.Width = v;
    if (!read("Height")) return count;
    s.Height = v;
    if (!read("Sound")) return count;
    s.Sound = v != 0;
    if (!read("C1")) return count;
    s.C1 = v;
    if (!read("C2")) return count;
    s.C2 = v;
    if (!read("C3")) return count;
    s.C3 = v;
    if (!read("FilterInd")) return count;
    s.FilterInd = v;
    if (!read("WaitStart")) return count;
    if (v > 0) s.WaitStart = v;
    if (!read("AutoStart")) return count;
    s.AutoStart = v;
    // Cars and laps are limited to what the window can show ("Laps" 0 would
    // divide by zero in the layout).
    if (!read("Cars")) return count;
    s.Cars = qBound(1, v, 2);
    if (!read("Laps")) return count;
    s.Laps = s.Cars == 2 ? 2 : qBound(2, v, 5);
    const QString title = Value(QStringLiteral("Title")).toString();
    if (!title.isEmpty()) s.Title = title;
    return count + 1;
}

bool TSettingsStore::Write(const TStoredSettings& s) {
    if (!FSettings) return true;
    const std::pair<const char*, int> values[] = {
        {"Left", s.Left},
        {"Top", s.Top},
        {"Width", s.Width},
        {"Height", s.Height},
        {"Sound", s.Sound ? 1 : 0},
        {"Port", s.Port},
        {"Alg", s.Alg},
        {"C1", s.C1},
        {"C2", s.C2},
        {"C3", s.C3},
        {"Acc", s.Acc},
        {"FilterInd", s.FilterInd},
        {"WaitStart", s.WaitStart},
        {"AutoStart", s.AutoStart},
        {"Cars", s.Cars},
        {"Laps", s.Laps},
    };
    for (const auto& [name, value] : values)
        FSettings->setValue(QLatin1String(name), value);
    FSettings->setValue(QStringLiteral("Title"), s.Title);
    return Sync();
}

void TTimerSettings::Read(const TSettingsStore& store) {
    int v = 0;
    if (store.ReadInt(QStringLiteral("ZeitgeberPort"), v) && v >= 0 && v <= 255) Port = v;
    if (store.ReadInt(QStringLiteral("ZeitgeberBaud"), v) && v > 0) Baud = v;
    const QString channels = store.Value(QStringLiteral("ZeitgeberKanaele")).toString();
    if (!channels.isEmpty()) Channels = channels;
}

void TTimerSettings::Write(TSettingsStore& store) const {
    store.SetValue(QStringLiteral("ZeitgeberPort"), Port);
    store.SetValue(QStringLiteral("ZeitgeberBaud"), Baud);
    store.SetValue(QStringLiteral("ZeitgeberKanaele"), Channels);
}

QString TTimerSettings::ChannelList(const QString& typed) {
    QStringList channels;
    static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
    static const QRegularExpression channel(QStringLiteral("^C[0-9]$"));
    for (const QString& part : typed.toUpper().split(separators, Qt::SkipEmptyParts)) {
        if (!channel.match(part).hasMatch()) return {};
        if (!channels.contains(part)) channels << part;
    }
    return channels.join(QLatin1Char(','));
}

bool TTimerSettings::Counts(const QString& channel) const {
    const QString c = channel.startsWith(QLatin1Char('C')) ? channel : QStringLiteral("C") + channel;
    for (const QString& part : Channels.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (part.trimmed().compare(c, Qt::CaseInsensitive) == 0) return true;
    return false;
}
