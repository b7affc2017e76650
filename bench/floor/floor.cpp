// A bare Qt Widgets main window with Ostrel!'s widget count: 9 labels, 4 buttons, 2 lists, a menu bar
// of two menus, and a label rewritten every second. What Qt itself costs for such a window.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTime>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Floor"));
    QMenu *menu = window.menuBar()->addMenu(QStringLiteral("&Window"));
    menu->addAction(QStringLiteral("&Always On Top"))->setCheckable(true);
    window.menuBar()->addMenu(QStringLiteral("&Help"))->addAction(QStringLiteral("&About"));

    auto *client = new QWidget;
    client->setFixedSize(280, 159);
    window.setCentralWidget(client);
    QLabel *labels[9];
    for (int i = 0; i < 9; ++i) {
        labels[i] = new QLabel(QStringLiteral("Label %1").arg(i), client);
        labels[i]->setGeometry(8 + (i % 3) * 90, 8 + (i / 3) * 24, 85, 17);
    }
    for (int i = 0; i < 4; ++i)
        (new QPushButton(QStringLiteral("Button %1").arg(i), client))->setGeometry(8 + i * 68, 84, 64, 25);
    for (int i = 0; i < 2; ++i) {
        auto *list = new QComboBox(client);
        list->setGeometry(168 + i * 40, 128, 41, 21);
        for (int n = 0; n < (i ? 60 : 24); ++n)
            list->addItem(QString::number(n).rightJustified(2, u'0'));
    }
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, labels[0],
                     [&] { labels[0]->setText(QTime::currentTime().toString(u"HH:mm:ss")); });
    clock.start(1000);
    window.show();
    return app.exec();
}
