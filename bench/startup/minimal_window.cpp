// The yardstick of the start-up benchmark: the least a Qt widgets program does to show a window. With
// --text the window shows a line of Latin and Chinese text, so that fonts are looked up and loaded as the
// program's window needs them.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(960, 640);
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0)
        (new QLabel(QString::fromUtf8("Tavimeet 视频会议"), &window))->move(20, 20);
    window.show();
    return app.exec();
}
