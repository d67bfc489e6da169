#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Glintwork"));
    QLabel placeholder(QStringLiteral("Glintwork: the window arrives with the desktop application."));
    placeholder.setMinimumSize(720, 580);
    placeholder.setAlignment(Qt::AlignCenter);
    placeholder.show();
    return app.exec();
}
