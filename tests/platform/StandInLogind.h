#pragma once
// A stand-in for systemd-logind's manager object on a private bus: CanReboot answers what the
// test sets, Reboot records its calls and succeeds or fails as the test sets, Inhibit records its
// calls and hands out the write end of a pipe whose read end the test watches for the lock's end.

#include <QtCore/QString>
#include <QtCore/QThread>
#include <QtCore/QVariant>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusVirtualObject>

#include <mutex>
#include <string>
#include <vector>

namespace norvik_test {

class StandInLogind : public QDBusVirtualObject {
public:
    struct RebootCall {
        QString signature;  // "b" for the one boolean the manager takes
        bool interactive;
    };
    struct InhibitCall {
        QString signature;  // "ssss": what, who, why, mode
        QString what;
        QString who;
        QString why;
        QString mode;
    };

    // Owns org.freedesktop.login1 and serves /org/freedesktop/login1 on the bus at the address.
    explicit StandInLogind(const std::string& busAddress);
    ~StandInLogind() override;

    bool IsServing() const { return serving; }

    void SetCanRebootAnswer(const QVariant& answer);
    void SetRebootFails(bool fails);
    void SetInhibitFails(bool fails);

    int CanRebootCalls() const;
    std::vector<RebootCall> RebootCalls() const;
    std::vector<InhibitCall> InhibitCalls() const;
    // The read end of the pipe whose write end the last granted lock is: it reads end of file
    // once every copy of the lock is closed. -1 before a lock was granted.
    int LockWatch() const;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    bool ReplyToInhibit(const QDBusMessage& message, const QDBusConnection& connection);

    // The bus hands each call to the thread of the object that serves it: this one, with an
    // event loop of its own, so the test thread may block in its calls meanwhile.
    QThread serviceThread;
    QString connectionName;
    QDBusConnection bus;
    bool serving = false;

    mutable std::mutex mutex;  // the bus delivers calls on its own thread
    QVariant canRebootAnswer{QStringLiteral("yes")};
    bool rebootFails = false;
    int canRebootCalls = 0;
    std::vector<RebootCall> rebootCalls;
    bool inhibitFails = false;
    std::vector<InhibitCall> inhibitCalls;
    int lockWatch = -1;
};

}  // namespace norvik_test
