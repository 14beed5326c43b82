#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("KX7410M3三相电参数采集模块上位机软件   V1.0"));
    window.show();
    return app.exec();
}
