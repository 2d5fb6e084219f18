#include "catalogue/KeyringPassword.h"

#include <QObject>
#include <QPointer>

#include <qt6keychain/keychain.h>

namespace keyring {

namespace {

const QString kService = QStringLiteral("Atlasdesk");

// Sets up `job` on `key` with the plain-text fallback off and calls `done`
// with the finished job while `context` lives.
template <typename Job>
void run(Job* job, const QString& key, QObject* context, std::function<void(Job&)> done)
{
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(key);
    QObject::connect(job, &QKeychain::Job::finished, context,
                     [done = std::move(done)](QKeychain::Job* finished) { done(*static_cast<Job*>(finished)); });
    job->start();
}

QString errorOf(const QKeychain::Job& job)
{
    return job.error() == QKeychain::NoError ? QString() : job.errorString();
}

} // namespace

QString accountKey(const std::string& host, int port, const std::string& database, const std::string& user)
{
    return QStringLiteral("%1@%2:%3/%4")
        .arg(QString::fromStdString(user), QString::fromStdString(host), QString::number(port),
             QString::fromStdString(database));
}

void read(const QString& key, QObject* context, std::function<void(const ReadResult&)> done)
{
    run<QKeychain::ReadPasswordJob>(new QKeychain::ReadPasswordJob(kService), key, context,
                                    [done = std::move(done)](QKeychain::ReadPasswordJob& job) {
                                        ReadResult result;
                                        switch (job.error()) {
                                        case QKeychain::NoError:
                                            result.kind = ReadResult::Found;
                                            result.password = job.textData();
                                            break;
                                        case QKeychain::EntryNotFound:
                                            result.kind = ReadResult::NotFound;
                                            break;
                                        case QKeychain::NoBackendAvailable:
                                        case QKeychain::NotImplemented:
                                            result.kind = ReadResult::NoKeyring;
                                            result.error = job.errorString();
                                            break;
                                        default:
                                            result.kind = ReadResult::Failed;
                                            result.error = job.errorString();
                                        }
                                        done(result);
                                    });
}

void write(const QString& key, const QString& password, QObject* context, std::function<void(const QString&)> done)
{
    auto* job = new QKeychain::WritePasswordJob(kService);
    job->setTextData(password);
    run<QKeychain::WritePasswordJob>(job, key, context,
                                     [done = std::move(done)](QKeychain::WritePasswordJob& finished) {
                                         done(errorOf(finished));
                                     });
}

void forget(const QString& key, QObject* context, std::function<void(const QString&)> done)
{
    run<QKeychain::DeletePasswordJob>(new QKeychain::DeletePasswordJob(kService), key, context,
                                      [done = std::move(done)](QKeychain::DeletePasswordJob& job) {
                                          done(errorOf(job));
                                      });
}

} // namespace keyring
