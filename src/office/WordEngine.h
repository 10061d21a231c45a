#pragma once
// The real Word-Basic-like engine: a document of paragraphs and tables with an
// insertion point, saved as .docx. FileOpen takes a .docx template whose body
// follows what is inserted; the template file itself is only read.
#include "WordBasic.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QStringList>
#include <functional>

class TWordEngine : public IWordBasic {
public:
    using TShowFile = std::function<void(const QString& fileName)>;
    explicit TWordEngine(TShowFile show = {});

    void AppMaximize() override;
    void AppMinimize() override;
    void FileOpen(const QString& fileName) override;
    void FileNew() override;
    void Insert(const QString& text) override;
    void LineUp(int count, int extend) override;
    void TextToTable(int convertFrom, int numColumns) override;
    void FileSaveAs(const QString& fileName) override;
    void AppClose() override;

    // What the document holds before the template's own body: a paragraph's text
    // (tabs kept) or a table's rows, for tests.
    struct TBlock {
        bool IsTable = false;
        QString Text;
        QList<QStringList> Rows;
    };
    const QList<TBlock>& Blocks() const { return FBlocks; }

    // The WordprocessingML of the blocks (the body's content, no sectPr).
    static QByteArray BodyXml(const QList<TBlock>& blocks, const QString& prefixDecl = QString());

private:
    void RequireDocument() const;

    TShowFile FShow;
    bool FVisible = false;
    bool FOpen = false;
    QList<TBlock> FBlocks;
    int FCursor = 0;                             // insertion point: before block FCursor
    int FSelFirst = -1;                          // selected blocks [FSelFirst, FCursor)
    QList<QPair<QString, QByteArray>> FTemplate; // entries of an opened template
    QString FDocumentPart;                       // the template's main part
};
