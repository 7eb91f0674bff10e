#include "run/remotestop.h"

#include "run/run.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <atomic>
#include <memory>
#include <mutex>

namespace {

// One line each way: the request, then the answer.
const QByteArray kStop = QByteArrayLiteral("stop\n");
const QByteArray kStopped = QByteArrayLiteral("stopped\n");
const QByteArray kIdle = QByteArrayLiteral("idle\n");
// Longest line either side reads; anything longer is not ours.
constexpr qint64 kLongestLine = 64;
// Beside each socket: an empty file that names it. Windows keeps its local
// sockets (named pipes) out of the file system, so --stop finds them by these.
const QString kMarkerSuffix = QStringLiteral(".stop");

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

bool ensureFolder(const QString &path)
{
    if (!QFileInfo(path).isDir() && !QDir().mkdir(path, kOwnerOnly))
        return false;
    return QFile::setPermissions(path, kOwnerOnly);
}

// The run a listener may stop. Cleared under the lock as the run finishes,
// in the run's thread: the run is deleted there afterwards, while a request
// may be answered in the owner's thread at the same moment.
struct Target {
    std::mutex lock;
    Run *run = nullptr;
};

class Listener : public QObject {
public:
    Listener(std::shared_ptr<Target> target, QObject *parent)
        : QObject(parent), target_(std::move(target)), server_(this)
    {
        connect(&server_, &QLocalServer::newConnection, this, &Listener::accept);
    }
    ~Listener() override
    {
        // The marker first: a --stop that finds it then finds the socket too.
        if (!marker_.isEmpty())
            QFile::remove(marker_);
        server_.close();
    }
    bool start(const QString &folder)
    {
        // A name per run: a run that starts while the last one's listener
        // is still on its way out must not take over (or lose) its socket.
        static std::atomic<int> runs{0};
        const QString name = folder + QLatin1Char('/') + QString::number(QCoreApplication::applicationPid())
            + QLatin1Char('-') + QString::number(runs.fetch_add(1));
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        if (!server_.listen(name)) {
            qWarning() << "[Run] cannot listen for --stop at" << name << server_.errorString();
            return false;
        }
        QFile marker(name + kMarkerSuffix);
        if (!marker.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            qWarning() << "[Run] cannot write" << marker.fileName() << marker.errorString();
            return false;
        }
        marker_ = marker.fileName();
        return true;
    }

private:
    void accept()
    {
        while (QLocalSocket *socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    }
    void answer(QLocalSocket *socket)
    {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > kLongestLine)
                socket->abort();
            return;
        }
        bool stopped = false;
        if (socket->readLine(kLongestLine + 1) == kStop) {
            const std::lock_guard<std::mutex> guard(target_->lock);
            if (target_->run) {
                qDebug() << "[Run] stop asked by --stop";
                target_->run->requestStop();
                stopped = true;
            }
        }
        socket->write(stopped ? kStopped : kIdle);
        socket->flush();
        socket->disconnectFromServer();
    }

    std::shared_ptr<Target> target_;
    QLocalServer server_;
    QString marker_;
};

} // namespace

QString remotestop::folder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    // Where there is no runtime folder Qt answers the home folder (Windows);
    // the local application data folder is the user's own there.
    if (runtime.isEmpty() || runtime == QStandardPaths::writableLocation(QStandardPaths::HomeLocation))
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/tervalo-free-stop");
    return runtime + QStringLiteral("/tervalo-free");
}

void remotestop::listen(Run *run, QObject *owner)
{
    auto target = std::make_shared<Target>();
    target->run = run;
    QObject::connect(
        run, &Run::finished, run,
        [target] {
            const std::lock_guard<std::mutex> guard(target->lock);
            target->run = nullptr;
        },
        Qt::DirectConnection);
    auto *listener = new Listener(target, owner);
    const QString where = folder();
    if (!ensureFolder(where) || !listener->start(where)) {
        qWarning() << "[Run] this run cannot be stopped with --stop";
        delete listener;
        return;
    }
    QObject::connect(run, &Run::finished, listener, &QObject::deleteLater);
}

int remotestop::stopAll(int timeoutMs)
{
    const QString where = folder();
    if (!ensureFolder(where))
        return -1;
    int stopped = 0;
    const QDir dir(where);
    for (const QString &marker : dir.entryList({QLatin1Char('*') + kMarkerSuffix}, QDir::Files)) {
        const QString name = dir.filePath(marker.chopped(kMarkerSuffix.size()));
        QLocalSocket socket;
        socket.connectToServer(name);
        if (!socket.waitForConnected(timeoutMs)) {
            // Its program is gone without taking its socket along (killed).
            if (socket.error() == QLocalSocket::ServerNotFoundError
                || socket.error() == QLocalSocket::ConnectionRefusedError) {
                QFile::remove(dir.filePath(marker));
                QLocalServer::removeServer(name);
            }
            continue;
        }
        socket.write(kStop);
        if (!socket.waitForBytesWritten(timeoutMs))
            continue;
        while (!socket.canReadLine() && socket.waitForReadyRead(timeoutMs)) {
        }
        if (socket.readLine(kLongestLine + 1) == kStopped)
            ++stopped;
    }
    return stopped;
}
