#include "DlgStartList.h"

#include <QAbstractTableModel>
#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>


// The drivers as the protocol will get them; a model, so 10,000 rows cost nothing to show.
class TStartListResultModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void Set(const QList<StartList::TEntrant>& entrants) {
        beginResetModel();
        FEntrants = entrants;
        FTwice = StartList::DuplicateStartNumbers(entrants);
        endResetModel();
    }
    const QSet<QString>& Twice() const { return FTwice; }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(FEntrants.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 5; }

    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (role != Qt::DisplayRole) return {};
        if (o == Qt::Vertical) return section + 1;
        static const StartList::TField heads[] = {StartList::sfStartNr, StartList::sfSurname, StartList::sfClass, StartList::sfClub, StartList::sfVehicle};
        return StartList::FieldCaption(heads[section]);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const StartList::TEntrant& e = FEntrants.at(index.row());
        const bool twice = FTwice.contains(e.StartNr);
        const bool nameless = e.Name.isEmpty();
        const bool numberless = e.StartNr.isEmpty();
        // A missing start number or name: marked in its cell, in yellow.
        const bool missing = (numberless && index.column() == 0) || (nameless && index.column() == 1);
        switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
            case 0:
                return numberless ? QStringLiteral("(ohne Nr.)") : e.StartNr;
            case 1:
                return nameless ? QStringLiteral("(ohne Namen)") : e.Name;
            case 2:
                return e.Class;
            case 3:
                return e.Club;
            default:
                return e.Vehicle;
            }
        case Qt::BackgroundRole:
            if (twice && index.column() == 0) return QBrush(QColor(0xFF, 0xC8, 0xC8));
            if (missing) return QBrush(QColor(0xFF, 0xF0, 0xB0));
            return {};
        case Qt::ToolTipRole:
            if (twice && index.column() == 0)
                return QStringLiteral("Diese Start-Nr. steht mehrfach in der Liste.");
            if (nameless && index.column() == 1)
                return QStringLiteral("Für diese Zeile ergibt sich kein Name.");
            if (numberless && index.column() == 0)
                return QStringLiteral("Für diese Zeile ergibt sich keine Start-Nr.");
            return {};
        case Qt::FontRole:
            if (missing) {
                QFont f;
                f.setItalic(true);
                return f;
            }
            return {};
        default:
            return {};
        }
    }

private:
    QList<StartList::TEntrant> FEntrants;
    QSet<QString> FTwice;
};

TDlgStartList::TDlgStartList(QWidget* owner, const StartList::TTable& table, const StartList::TMapping& mapping,
                             StartList::TNameOrder order)
    : QDialog(owner), FTable(table) {
    setObjectName(QStringLiteral("DlgStartList"));
    setWindowTitle(QStringLiteral("Startliste übernehmen"));

    auto* intro = new QLabel(
        (table.Header.isEmpty()
             ? QStringLiteral("Die Datei benennt ihre Spalten nicht, und nicht jede Spalte hinter "
                              "dem Namen enthält Zeiten. ")
             : QStringLiteral("Die Kopfzeile der Datei benennt ihre Spalten. ")) +
            QStringLiteral("Wählen Sie für jede Spalte, was sie enthält; Zeiten werden aus "
                           "einer Startliste nie übernommen."),
        this);
    intro->setObjectName(QStringLiteral("lIntro"));
    intro->setWordWrap(true);

    const int columns = table.Columns();
    tbFile =
        new QTableWidget(int(qMin<qsizetype>(table.Rows.size(), PreviewRows)) + 1, columns, this);
    tbFile->setObjectName(QStringLiteral("tbFile"));
    QStringList headings;
    for (int c = 0; c < columns; ++c)
        headings << table.Heading(c);
    tbFile->setHorizontalHeaderLabels(headings);
    tbFile->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tbFile->setSelectionMode(QAbstractItemView::NoSelection);
    tbFile->verticalHeader()->setVisible(false);
    for (int c = 0; c < columns; ++c) {
        auto* combo = new QComboBox(tbFile);
        combo->setObjectName(QStringLiteral("cbColumn%1").arg(c + 1));
        for (int f = StartList::sfStartNr; f < StartList::FieldCount; ++f)
            combo->addItem(StartList::FieldCaption(StartList::TField(f)), f);
        combo->addItem(StartList::FieldCaption(StartList::sfIgnore), int(StartList::sfIgnore));
        combo->setCurrentIndex(combo->findData(int(mapping.value(c, StartList::sfIgnore))));
        combo->setToolTip(QStringLiteral("Was die Spalte „%1“ enthält").arg(table.Heading(c)));
        tbFile->setCellWidget(0, c, combo);
        FColumns << combo;
        connect(combo, &QComboBox::currentIndexChanged, this, [this] { Recompute(); });
        for (int r = 0; r + 1 < tbFile->rowCount(); ++r)
            tbFile->setItem(r + 1, c, new QTableWidgetItem(table.Rows[r].value(c)));
    }
    tbFile->resizeColumnsToContents();
    tbFile->resizeRowsToContents();
    tbFile->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    int height = tbFile->horizontalHeader()->height() + 2 * tbFile->frameWidth() + 18;
    for (int r = 0; r < tbFile->rowCount(); ++r)
        height += tbFile->rowHeight(r);
    tbFile->setFixedHeight(height);

    // A title, a date, an empty row: what stands above the header, and the first of it
    // as the event's title, only when ticked.
    lAbove = new QLabel(this);
    lAbove->setObjectName(QStringLiteral("lAbove"));
    lAbove->setTextFormat(Qt::PlainText);
    QStringList above = table.Above.mid(0, 4);
    for (QString& line : above)
        line = fontMetrics().elidedText(line, Qt::ElideRight, 700);
    if (table.Above.size() > above.size()) above << QStringLiteral("…");
    lAbove->setText(QStringLiteral("Über der Kopfzeile steht:\n") + above.join(QLatin1Char('\n')));
    lAbove->setVisible(!table.Above.isEmpty());
    cbTitle = new QCheckBox(
        QStringLiteral("„%1“ als &Titel übernehmen")
            .arg(fontMetrics().elidedText(table.Above.value(0), Qt::ElideRight, 500)),
        this);
    cbTitle->setObjectName(QStringLiteral("cbTitle"));
    cbTitle->setVisible(!table.Above.isEmpty());
    FTitle = table.Above.value(0);

    auto* orderLabel = new QLabel(QStringLiteral("&Namensform:"), this);
    cbNameOrder = new QComboBox(this);
    cbNameOrder->setObjectName(QStringLiteral("cbNameOrder"));
    cbNameOrder->addItem(QStringLiteral("Vorname Name"), int(StartList::noFirstLast));
    cbNameOrder->addItem(QStringLiteral("Name, Vorname"), int(StartList::noLastFirst));
    cbNameOrder->setCurrentIndex(order == StartList::noLastFirst ? 1 : 0);
    orderLabel->setBuddy(cbNameOrder);
    connect(cbNameOrder, &QComboBox::currentIndexChanged, this, [this] { Recompute(); });

    auto* driversLabel = new QLabel(QStringLiteral("Fahrer für das Protokoll:"), this);
    FModel = new TStartListResultModel(this);
    tvDrivers = new QTableView(this);
    tvDrivers->setObjectName(QStringLiteral("tvDrivers"));
    tvDrivers->setModel(FModel);
    tvDrivers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvDrivers->horizontalHeader()->setStretchLastSection(true);
    tvDrivers->verticalHeader()->setDefaultSectionSize(tvDrivers->fontMetrics().height() + 6);
    tvDrivers->setColumnWidth(0, 80);
    tvDrivers->setColumnWidth(1, 220);
    tvDrivers->setColumnWidth(2, 90);
    tvDrivers->setColumnWidth(3, 160);

    lSummary = new QLabel(this);
    lSummary->setObjectName(QStringLiteral("lSummary"));
    lSummary->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    OKBtn = buttons->addButton(QStringLiteral("Übernehmen"), QDialogButtonBox::AcceptRole);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* orderRow = new QHBoxLayout;
    orderRow->addWidget(orderLabel);
    orderRow->addWidget(cbNameOrder);
    orderRow->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(lAbove);
    layout->addWidget(cbTitle);
    layout->addWidget(tbFile);
    layout->addLayout(orderRow);
    layout->addWidget(driversLabel);
    layout->addWidget(tvDrivers, 1);
    layout->addWidget(lSummary);
    layout->addWidget(buttons);
    // As wide as the file's columns need, within the screen.
    const int columnsWidth = tbFile->horizontalHeader()->length() + 2 * tbFile->frameWidth();
    resize(qBound(760, columnsWidth + 40, 1240), 600);
    Recompute();
}

StartList::TMapping TDlgStartList::Mapping() const {
    StartList::TMapping m;
    for (const QComboBox* c : FColumns)
        m << StartList::TField(c->currentData().toInt());
    return m;
}

QString TDlgStartList::Title() const {
    return cbTitle->isChecked() ? FTitle : QString();
}

StartList::TNameOrder TDlgStartList::NameOrder() const {
    return StartList::TNameOrder(cbNameOrder->currentData().toInt());
}

void TDlgStartList::Recompute() {
    FEntrants = StartList::Apply(FTable, Mapping(), NameOrder());
    FModel->Set(FEntrants);
    int nameless = 0, numberless = 0;
    for (const StartList::TEntrant& e : FEntrants) {
        nameless += e.Name.isEmpty() ? 1 : 0;
        numberless += e.StartNr.isEmpty() ? 1 : 0;
    }
    QString text = QStringLiteral("%1 Fahrer.").arg(FEntrants.size());
    if (!FModel->Twice().isEmpty()) {
        QStringList numbers(FModel->Twice().cbegin(), FModel->Twice().cend());
        numbers.sort();
        if (numbers.size() > 10) numbers = numbers.mid(0, 10) << QStringLiteral("…");
        text += QStringLiteral(" Mehrfach vergebene Start-Nr. (rot markiert, alle werden "
                               "übernommen): ") +
                numbers.join(QStringLiteral(", ")) + QLatin1Char('.');
    }
    const bool hasName = StartList::HasNameColumn(Mapping());
    if (hasName && nameless > 0)
        text += QStringLiteral(" %1 Zeile(n) ohne Namen (gelb markiert).").arg(nameless);
    if (!Mapping().contains(StartList::sfStartNr))
        text += QStringLiteral(" Keine Spalte ist als Start-Nr. gewählt.");
    else if (numberless > 0)
        text += QStringLiteral(" %1 Zeile(n) ohne Start-Nr. (gelb markiert).").arg(numberless);
    // A list without names would only empty the protocol.
    if (!hasName)
        text += QStringLiteral(" Keine Spalte ist als Name oder Vorname gewählt: Wählen Sie "
                               "eine, um die Liste zu übernehmen.");
    OKBtn->setEnabled(hasName);
    lSummary->setText(text);
}
