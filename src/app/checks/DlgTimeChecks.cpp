#include "DlgTimeChecks.h"

#include "Corrections.h"
#include "ProgramInfo.h"
#include "Settings.h"
#include "TimeText.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QVBoxLayout>
#include <cmath>

namespace {

const QString MinLapName = QStringLiteral("PruefKuerzesteRundeMs");
const QString LowName = QStringLiteral("PruefFeldUntenProzent");
const QString HighName = QStringLiteral("PruefFeldObenProzent");
const QString FieldRunsName = QStringLiteral("PruefFeldAbLaeufen");
const QString AfterDeadTimeName = QStringLiteral("PruefNachTotzeitMs");

// A stored value inside its range, else the default.
int Stored(const TSettingsStore& store, const QString& name, int fallback, int min, int max) {
    int v = fallback;
    if (!store.ReadInt(name, v) || v < min || v > max) return fallback;
    return v;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

// Both dialogs: an explaining text, the fields, and the two buttons at the bottom right.
void LayOut(QDialog* d, const QString& text, QFormLayout* form, QPushButton*& ok,
            const QString& okCaption, QPushButton*& cancel) {
    auto* intro = new QLabel(text, d);
    intro->setWordWrap(true);
    ok = Button(d, "bOK", okCaption);
    ok->setDefault(true);
    cancel = Button(d, "bCancel", QStringLiteral("Abbrechen"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* v = new QVBoxLayout(d);
    v->addWidget(intro);
    v->addLayout(form);
    v->addLayout(buttons);
    QObject::connect(cancel, &QPushButton::clicked, d, &QDialog::reject);
}

} // namespace

Plausibility::TThresholds ReadThresholds(const TSettingsStore& store) {
    Plausibility::TThresholds t;
    t.MinLapMs = Stored(store, MinLapName, t.MinLapMs, 0, 3600000);
    t.LowFactor = Stored(store, LowName, 60, 1, 100) / 100.0;
    t.HighFactor = Stored(store, HighName, 200, 100, 1000) / 100.0;
    t.MinFieldRuns = Stored(store, FieldRunsName, t.MinFieldRuns, 2, 1000);
    t.AfterDeadTimeMs = Stored(store, AfterDeadTimeName, t.AfterDeadTimeMs, 0, 10000);
    return t;
}

void WriteThresholds(TSettingsStore& store, const Plausibility::TThresholds& t) {
    store.SetValue(MinLapName, t.MinLapMs);
    store.SetValue(LowName, int(std::lround(t.LowFactor * 100)));
    store.SetValue(HighName, int(std::lround(t.HighFactor * 100)));
    store.SetValue(FieldRunsName, t.MinFieldRuns);
    store.SetValue(AfterDeadTimeName, t.AfterDeadTimeMs);
    store.Sync();
}

// ---------------------------------------------------------------- limits

TDlgPlausibility::TDlgPlausibility(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("DlgPlausibility"));
    setWindowTitle(QStringLiteral("Plausibilität"));
    setModal(true);
    const QLocale german(QLocale::German, QLocale::Germany);
    const auto real = [&](const char* name, double min, double max, double step, int decimals) {
        auto* e = new QDoubleSpinBox(this);
        e->setObjectName(QLatin1String(name));
        e->setLocale(german);
        e->setRange(min, max);
        e->setSingleStep(step);
        e->setDecimals(decimals);
        return e;
    };
    seMinLap = real("seMinLap", 0, 3600, 0.1, 2);
    seMinLap->setSpecialValueText(QStringLiteral("aus"));
    seMinLap->setSuffix(QStringLiteral(" s"));
    seLow = real("seLow", 0.01, 1.0, 0.05, 2);
    seLow->setPrefix(QStringLiteral("× "));
    seHigh = real("seHigh", 1.0, 10.0, 0.1, 2);
    seHigh->setPrefix(QStringLiteral("× "));
    seFieldRuns = new QSpinBox(this);
    seFieldRuns->setObjectName(QStringLiteral("seFieldRuns"));
    seFieldRuns->setRange(2, 1000);
    seFieldRuns->setSuffix(QStringLiteral(" Läufen"));
    seAfterDeadTime = new QSpinBox(this);
    seAfterDeadTime->setObjectName(QStringLiteral("seAfterDeadTime"));
    seAfterDeadTime->setRange(0, 10000);
    seAfterDeadTime->setSuffix(QStringLiteral(" ms"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Kürzeste Runde:"), seMinLap);
    form->addRow(QStringLiteral("Weit vom Feld unter dem Median:"), seLow);
    form->addRow(QStringLiteral("Weit vom Feld über dem Median:"), seHigh);
    form->addRow(QStringLiteral("Feld zählt ab:"), seFieldRuns);
    form->addRow(QStringLiteral("LS-Flanke nach Ende der Totzeit:"), seAfterDeadTime);
    LayOut(this,
           QStringLiteral("Auffällige Zeiten werden im Protokoll markiert, nie verändert oder "
                          "gelöscht."),
           form, bOK, QStringLiteral("OK"), bCancel);
    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
    SetThresholds({});
}

void TDlgPlausibility::SetThresholds(const Plausibility::TThresholds& t) {
    seMinLap->setValue(t.MinLapMs / 1000.0);
    seLow->setValue(t.LowFactor);
    seHigh->setValue(t.HighFactor);
    seFieldRuns->setValue(t.MinFieldRuns);
    seAfterDeadTime->setValue(t.AfterDeadTimeMs);
}

Plausibility::TThresholds TDlgPlausibility::Thresholds() const {
    Plausibility::TThresholds t;
    t.MinLapMs = int(std::lround(seMinLap->value() * 1000));
    t.LowFactor = seLow->value();
    t.HighFactor = seHigh->value();
    t.MinFieldRuns = seFieldRuns->value();
    t.AfterDeadTimeMs = seAfterDeadTime->value();
    return t;
}

// ---------------------------------------------------------------- hand time

std::function<void(QWidget*, const QString&)> TDlgHandTime::ShowError =
    [](QWidget* parent, const QString& text) {
        QMessageBox::warning(parent, ProgramTitle(), text);
    };

TDlgHandTime::TDlgHandTime(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("DlgHandTime"));
    setWindowTitle(QStringLiteral("Handzeit"));
    setModal(true);
    lDriver = new QLabel(this);
    lDriver->setObjectName(QStringLiteral("lDriver"));
    cbField = new QComboBox(this);
    cbField->setObjectName(QStringLiteral("cbField"));
    eTime = new QLineEdit(this);
    eTime->setObjectName(QStringLiteral("eTime"));
    eTime->setPlaceholderText(QStringLiteral("z. B. 59,87 oder 1.02,30"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Fahrer:"), lDriver);
    form->addRow(QStringLiteral("&Zeit für:"), cbField);
    form->addRow(QStringLiteral("&Stoppuhr:"), eTime);
    LayOut(this,
           QStringLiteral("Zeit von der Stoppuhr, wenn die Lichtschranke ein Auto verpasst hat. "
                          "Sie wird überall als „Handzeit“ gekennzeichnet."),
           form, bOK, QStringLiteral("Übernehmen"), bCancel);
    setMinimumWidth(360);
    connect(bOK, &QPushButton::clicked, this, [this] { Accept(); });
}

void TDlgHandTime::Prepare(const QString& driver, int laps, int field) {
    lDriver->setText(driver.trimmed().isEmpty() ? QStringLiteral("(ohne Namen)") : driver.trimmed());
    cbField->clear();
    for (int k = 1; k <= laps; ++k)
        cbField->addItem(QStringLiteral("Runde %1").arg(k), k);
    cbField->addItem(QStringLiteral("Gesamtzeit"), 0);
    const int i = cbField->findData(field);
    cbField->setCurrentIndex(i < 0 ? cbField->count() - 1 : i);
    eTime->clear();
    eTime->setFocus();
}

int TDlgHandTime::Field() const {
    return cbField->currentData().toInt();
}

int TDlgHandTime::TimeMs() const {
    return ParseTimeText(eTime->text());
}

QString TDlgHandTime::TimeText() const {
    const int ms = TimeMs();
    return ms < 0 ? QString() : TimeToText(ms);
}

void TDlgHandTime::Accept() {
    if (TimeMs() <= 0) {
        // Stays open: nothing typed is lost.
        ShowError(this, QStringLiteral("„%1“ ist keine Zeit. Erlaubt sind Zeiten wie 59,87, "
                                       "1.02,3 oder 1:02.03,45.")
                            .arg(eTime->text().trimmed()));
        eTime->setFocus();
        return;
    }
    accept();
}
