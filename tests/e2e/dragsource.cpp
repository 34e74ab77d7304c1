// A drag source for the end-to-end test: a small window that, when pressed, drags the files
// named on its command line as text/uri-list, the way a file manager does.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cstdio>

class Source : public QWidget {
public:
    explicit Source(QList<QUrl> urls) : urls_(std::move(urls)) {
        setWindowTitle("dragsource");
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        setGeometry(0, 0, 100, 100);
        setStyleSheet("background: #208020;");
    }

protected:
    void mousePressEvent(QMouseEvent*) override {
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setUrls(urls_);
        drag->setMimeData(mime);
        const Qt::DropAction result = drag->exec(Qt::CopyAction | Qt::LinkAction);
        std::printf("drop result %d\n", int(result));
        std::fflush(stdout);
        // The target fetches the data after the drop: keep serving it for a while.
        QTimer::singleShot(3000, qApp, &QApplication::quit);
    }

private:
    QList<QUrl> urls_;
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (int i = 1; i < argc; ++i) urls << QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i]));
    Source s(urls);
    s.show();
    return app.exec();
}
