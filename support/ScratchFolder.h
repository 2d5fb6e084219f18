#pragma once
// A scratch folder of one window: `<base>/<prefix>-XXXXXX`, made new for each
// instance and removed with it. While the instance lives it holds a lock
// file inside ("owner.lock", QLockFile: the owner's process id and name), so
// that a later start can tell the folders of windows that crashed (their
// owner is gone: the lock is stale) from those of windows still running.
//
// removeAbandoned() removes the folders of `prefix` under `base` whose owner
// is gone. A folder whose owner still runs is never touched, nor one that
// has no lock yet and is younger than a minute (a window making its own).
// It reads and deletes files: call it off the window's thread.
//
// Thread: an instance belongs to the thread that made it; path() may be read
// from any thread.
#include <QString>

#include <memory>

class QLockFile;
class QTemporaryDir;

class ScratchFolder {
public:
    // Under `base` (made when missing); under the system's temporary folder
    // when `base` cannot be used. path() is empty when neither works.
    ScratchFolder(const QString& base, const QString& prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder, without a trailing separator; empty when none could be made.
    const QString& path() const { return m_path; }

    // Removes the abandoned folders; returns how many went.
    static int removeAbandoned(const QString& base, const QString& prefix);

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QLockFile> m_lock;
    QString m_path;
};
