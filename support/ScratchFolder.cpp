#include "support/ScratchFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>

namespace {

const QString kLockName = QStringLiteral("owner.lock");

std::unique_ptr<QLockFile> ownerLock(const QString& folder)
{
    auto lock = std::make_unique<QLockFile>(folder + QLatin1Char('/') + kLockName);
    // Only an owner that is gone makes a lock stale, never its age: a window
    // may stay open for weeks.
    lock->setStaleLockTime(0);
    return lock;
}

} // namespace

ScratchFolder::ScratchFolder(const QString& base, const QString& prefix)
{
    const QString pattern = QLatin1Char('/') + prefix + QStringLiteral("-XXXXXX");
    if (!base.isEmpty() && QDir().mkpath(base))
        m_dir = std::make_unique<QTemporaryDir>(base + pattern);
    if (!m_dir || !m_dir->isValid())
        m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + pattern);
    if (!m_dir->isValid())
        return;
    m_path = m_dir->path();
    m_lock = ownerLock(m_path);
    // Without its lock the folder is still usable; a later start removes it
    // only once it is older than a minute and no window is then making it.
    m_lock->tryLock(0);
}

ScratchFolder::~ScratchFolder()
{
    // The lock goes before the folder that holds it.
    m_lock.reset();
}

int ScratchFolder::removeAbandoned(const QString& base, const QString& prefix)
{
    QDir dir(base);
    if (base.isEmpty() || !dir.exists())
        return 0;
    int removed = 0;
    const QDateTime aMinuteAgo = QDateTime::currentDateTimeUtc().addSecs(-60);
    const QFileInfoList folders = dir.entryInfoList({prefix + QStringLiteral("-??????")}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo& folder : folders) {
        if (folder.isSymLink())
            continue;
        const QString path = folder.absoluteFilePath();
        const bool hasLock = QFileInfo::exists(path + QLatin1Char('/') + kLockName);
        if (!hasLock && folder.lastModified().toUTC() > aMinuteAgo)
            continue;
        // Taking the lock succeeds only when its owner is gone (a stale lock
        // is taken over) or there never was one.
        std::unique_ptr<QLockFile> lock = ownerLock(path);
        if (!lock->tryLock(0))
            continue;
        lock->unlock();
        lock.reset();
        if (QDir(path).removeRecursively())
            ++removed;
    }
    return removed;
}
