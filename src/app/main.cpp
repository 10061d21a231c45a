#include "FMain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(ProgramTitle());
    TFormMain form;
    form.show();
    return app.exec();
}
