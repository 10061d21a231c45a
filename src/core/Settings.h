#pragma once
// The persisted settings of the program: value names, types, defaults, the order
// in which they are read at start-up and written at shutdown. Window-free.
#include <QString>
#include <QVariant>
#include <memory>

class QSettings;

// One set of the stored values. Each member starts at the program's built-in
// default; the window fills it with its current state before reading or writing.
struct TStoredSettings {
    int Port = 0;   // n of COMn, 0 = no light barrier
    int Alg = 0;    // trigger rule: 0 "Ein", 1 "Aus"; -1 locks the port choice
    int Left = 318; // outer window bounds, pixels
    int Top = 132;
    int Width = 750;
    int Height = 549;
    bool Sound = true;
    int C1 = 0; // colours as 0x00BBGGRR
    int C2 = 0;
    int C3 = 4210752;
    int FilterInd = 1;    // 1-based position of the save dialog's format
    int WaitStart = 3000; // light-barrier dead time, ms
    int AutoStart = 30;
    int Cars = 2;
    int Laps = 2;
    QString Title = QStringLiteral("Porsche Cup Trainingslauf in Hockenheim");
    int Acc = 2; // written only: digits after the seconds

    bool PositionRead = false; // "Left" and "Top" came from the store
};

class TSettingsStore;

// The timing device ("Zeitgeber"), kept as named values beside the others:
// "ZeitgeberPort" (n of COMn, 0 = none), "ZeitgeberBaud", "ZeitgeberKanaele".
struct TTimerSettings {
    int Port = 0;
    int Baud = 9600;
    QString Channels = QStringLiteral("C0,C1"); // the channels whose impulses count
    void Read(const TSettingsStore& store);
    void Write(TSettingsStore& store) const;
    // "C0", "C1", ... as given; "1" and "2" of lines without a C stand for C1 and C2.
    bool Counts(const QString& channel) const;
    // Channels as typed ("c0; C2 C1") as they are kept ("C0,C2,C1"); empty when a
    // part is no channel C0 to C9.
    static QString ChannelList(const QString& typed);
};

// The per-user store named after the program title: on Windows the registry key
// HKEY_CURRENT_USER\Software\<title>, elsewhere $XDG_CONFIG_HOME/<title>.conf.
class TSettingsStore {
public:
    explicit TSettingsStore(const QString& programTitle);
    ~TSettingsStore();
    TSettingsStore(const TSettingsStore&) = delete;
    TSettingsStore& operator=(const TSettingsStore&) = delete;

    // Reads the values in their order into s. Reading stops silently at the first
    // value that is missing or not an integer; what came before applies, the rest
    // keeps what s held. Returns how many values were read.
    int Read(TStoredSettings& s) const;
    // Writes every value in its order; false when the store cannot be written.
    bool Write(const TStoredSettings& s);

    // Further named values beside the ones above (for example a web server's port).
    bool ReadInt(const QString& name, int& value) const; // false: missing or not an integer
    QVariant Value(const QString& name, const QVariant& fallback = QVariant()) const;
    void SetValue(const QString& name, const QVariant& value);
    // Writes what was set; false when the store cannot be written.
    bool Sync();
    // False when the store can neither be written nor created (a folder where the file
    // should be, no write access); its place then tells the user where.
    bool IsWritable() const;
    QString Place() const;

    // Where stores live. The platform's store is the default; tests use a folder
    // (one <title>.conf file per program title) or no store at all.
    static void UsePlatform();
    static void UseFolder(const QString& folder);
    static void UseNone();
    static bool IsNone();

private:
    std::unique_ptr<QSettings> FSettings; // null: no store
};
