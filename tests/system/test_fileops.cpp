// The safe file operations on temporary trees: copies that never leave a
// half file nor destroy a destination, identity instead of spelling, the
// trash, folder deletions that stay inside their folder.
#include "support/testutil.h"
#include "system/filecopytask.h"
#include "system/fileops.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace lumenta;
using testutil::readFile;

namespace {

// As root, the test's mounts live in a namespace of its own, unseen by
// other programs (made before any thread starts).
const bool privateMounts = geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
                           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;

// A small file system of its own (root only), unmounted with the object.
struct SmallVolume {
    explicit SmallVolume(const QString& where, const char* options = "size=256k") : path(where) {
        QDir().mkpath(path);
        mounted = privateMounts &&
                  mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", 0, options) == 0;
    }
    ~SmallVolume() {
        if (mounted)
            umount2(QFile::encodeName(path).constData(), MNT_DETACH);
    }
    QString path;
    bool mounted = false;
};

class FileOps : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(path("a"));
        QDir().mkpath(path("b"));
        src = write("a/photo.jpg", QByteArray(3 << 20, 'x')); // several blocks
        // A known date and mode to find again on the copy.
        QFile f(src);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.setFileTime(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)),
                      QFileDevice::FileModificationTime);
        f.close();
        chmod(QFile::encodeName(src).constData(), 0640);
    }
    QString path(const QString& rel) const { return dir.filePath(rel); }
    QString write(const QString& rel, const QByteArray& bytes) {
        return testutil::writeFile(dir, rel, bytes);
    }
    // Entries of folder (hidden ones too): a temporary file left behind shows here.
    QStringList entries(const QString& rel) const {
        return QDir(path(rel)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir;
    QString src;
};

WriteFunction failingAfter(int blocks, int err) {
    auto count = std::make_shared<int>(0);
    return [count, blocks, err](int fd, const void* data, size_t size) -> ssize_t {
        if ((*count)++ >= blocks) {
            errno = err;
            return -1;
        }
        return ::write(fd, data, size);
    };
}

} // namespace

TEST_F(FileOps, CopyKeepsBytesDateAndModeAndLeavesNoTemporaryFile) {
    const QString dst = path("b/photo.jpg");
    ASSERT_TRUE(copyFile(src, dst).ok());
    EXPECT_EQ(readFile(dst), readFile(src));
    EXPECT_EQ(QFileInfo(dst).lastModified(), QFileInfo(src).lastModified());
    EXPECT_EQ(QFileInfo(dst).permissions(), QFileInfo(src).permissions());
    EXPECT_EQ(entries("b"), QStringList{"photo.jpg"});
}

TEST_F(FileOps, ExistingDestinationsAreReplacedOnlyWhenAskedAndWritable) {
    struct Case {
        const char* what;
        bool replace;
        mode_t mode;
        FileError expected;
    } cases[] = {
        {"not asked", false, 0644, FileError::AlreadyExists},
        {"asked", true, 0644, FileError::None},
        {"read-only file", true, 0444, FileError::PermissionDenied},
    };
    for (const Case& c : cases) {
        const QString dst = write("b/photo.jpg", "old");
        chmod(QFile::encodeName(dst).constData(), c.mode);
        EXPECT_EQ(copyFile(src, dst, CopyOptions{c.replace}).error, c.expected) << c.what;
        EXPECT_EQ(readFile(dst), c.expected == FileError::None ? readFile(src) : "old") << c.what;
        EXPECT_EQ(entries("b"), QStringList{"photo.jpg"}) << c.what;
        QFile::setPermissions(dst, QFile::ReadOwner | QFile::WriteOwner);
        QFile::remove(dst);
    }
}

TEST_F(FileOps, AFileIsNeverCopiedOrMovedOntoItself) {
    const QByteArray before = readFile(src);
    QFile::link(path("a"), path("alias")); // the folder under another name
    QFile::link(src, path("b/link.jpg"));  // a link to the file
    ASSERT_EQ(link(QFile::encodeName(src), QFile::encodeName(path("b/hard.jpg"))), 0);
    for (const QString& dst : {src, path("alias/photo.jpg"), path("a/../a/photo.jpg"),
                               path("b/link.jpg"), path("b/hard.jpg")}) {
        for (const FileResult& r : {copyFile(src, dst, {true}), moveFile(src, dst, {true})})
            EXPECT_TRUE(r.sameFile && !r.ok()) << dst.toStdString();
        EXPECT_EQ(readFile(src), before) << dst.toStdString();
    }
    EXPECT_TRUE(QFileInfo(path("b/link.jpg")).isSymLink());
    EXPECT_EQ(entries("a"), QStringList{"photo.jpg"});
}

TEST_F(FileOps, RefusalsCarryTheirNumbers) {
    mkfifo(QFile::encodeName(path("a/pipe")).constData(), 0600);
    QDir().mkpath(path("b/photo.jpg.d"));
    EXPECT_EQ(copyFile(path("a/none.jpg"), path("b/x.jpg")).error, FileError::FileMissing);
    EXPECT_EQ(copyFile(src, path("nowhere/x.jpg")).error, FileError::FolderMissing);
    EXPECT_EQ(copyFile(path("a/pipe"), path("b/pipe")).error, FileError::PathAccess);
    EXPECT_EQ(copyFile(src, path("b/photo.jpg.d")).error, FileError::PathAccess);
    EXPECT_EQ(moveFile(src, path("nowhere/x.jpg")).error, FileError::FolderMissing);
    EXPECT_TRUE(QFileInfo::exists(src));
}

TEST_F(FileOps, ACopyFailingHalfWayLeavesTheDestinationAsItWas) {
    // An injected write error (a disk failing) and, as root, a volume too
    // small for the file.
    SmallVolume small(path("small"));
    struct Case {
        QString folder;
        WriteFunction write;
        FileError expected;
    };
    std::vector<Case> cases = {{path("b"), failingAfter(1, EIO), FileError::PathAccess},
                               {path("b"), failingAfter(2, ENOSPC), FileError::DiskFull}};
    if (small.mounted)
        cases.push_back({small.path, {}, FileError::DiskFull});
    for (const Case& c : cases) {
        for (const bool existing : {false, true}) {
            const QString dst = c.folder + QStringLiteral("/photo.jpg");
            QFile::remove(dst);
            if (existing)
                testutil::writeFile(dir, QDir(dir.path()).relativeFilePath(dst), "old");
            EXPECT_EQ(copyFile(src, dst, CopyOptions{true, nullptr, {}, c.write}).error,
                      c.expected);
            EXPECT_EQ(QFileInfo::exists(dst), existing);
            if (existing)
                EXPECT_EQ(readFile(dst), "old");
            EXPECT_EQ(QDir(c.folder).entryList(QDir::Files | QDir::Hidden).size(),
                      existing ? 1 : 0);
        }
    }
}

TEST_F(FileOps, AReadOnlyTargetFolderIsRefused) {
    const QString target = path("ro");
    SmallVolume readOnly(target, "size=64k");
    if (readOnly.mounted)
        mount("tmpfs", QFile::encodeName(target).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY,
              nullptr);
    else
        chmod(QFile::encodeName(target).constData(), 0555);
    if (geteuid() == 0 && !readOnly.mounted)
        GTEST_SKIP() << "root ignores folder permissions and cannot mount here";
    EXPECT_EQ(copyFile(src, target + QStringLiteral("/x.jpg")).error, FileError::PermissionDenied);
    EXPECT_TRUE(entries("ro").isEmpty());
}

TEST_F(FileOps, MovesRenameOrCopyThenDelete) {
    const QByteArray bytes = readFile(src);
    ASSERT_TRUE(moveFile(src, path("b/moved.jpg")).ok());
    EXPECT_FALSE(QFileInfo::exists(src));
    EXPECT_EQ(readFile(path("b/moved.jpg")), bytes);
    write("a/taken.jpg", "other");
    EXPECT_EQ(moveFile(path("b/moved.jpg"), path("a/taken.jpg")).error, FileError::AlreadyExists);
    EXPECT_EQ(readFile(path("a/taken.jpg")), "other");

    SmallVolume other(path("other"), "size=8m");
    if (!other.mounted)
        return;
    ASSERT_TRUE(moveFile(path("b/moved.jpg"), other.path + QStringLiteral("/moved.jpg")).ok());
    EXPECT_FALSE(QFileInfo::exists(path("b/moved.jpg")));
    EXPECT_EQ(readFile(other.path + QStringLiteral("/moved.jpg")), bytes);
}

TEST_F(FileOps, ALinkMovesAsALinkOnEveryVolume) {
    // A second volume: memory-backed /dev/shm where it is not the temporary
    // folder's, or a volume of our own as root.
    const QTemporaryDir shm(QStringLiteral("/dev/shm/lumenta-XXXXXX"));
    SmallVolume small(path("other"), "size=1m");
    const auto device = [](const QString& p) {
        return fileIdentity(p) ? fileIdentity(p)->device : 0;
    };
    QString other;
    if (shm.isValid() && device(shm.path()) != device(dir.path()))
        other = shm.path();
    else if (small.mounted)
        other = small.path;
    const struct {
        const char* name;
        QByteArray target;
    } links[] = {{"relative.jpg", "photo.jpg"},
                 {"absolute.jpg", QFile::encodeName(src)},
                 {"dangling.jpg", "../nowhere.jpg"}};
    const QByteArray before = readFile(src);
    for (const QString& folder : {path("b"), other}) {
        if (folder.isEmpty())
            continue;
        for (const auto& l : links) {
            const QString from = path("a/") + QLatin1String(l.name);
            const QString to = folder + QLatin1Char('/') + QLatin1String(l.name);
            SCOPED_TRACE(to.toStdString());
            ASSERT_EQ(symlink(l.target.constData(), QFile::encodeName(from).constData()), 0);
            EXPECT_TRUE(moveFile(from, to).ok());
            EXPECT_FALSE(entryExists(from));
            char text[4096] = {};
            const ssize_t n = readlink(QFile::encodeName(to).constData(), text, sizeof text);
            EXPECT_EQ(QByteArray(text, int(std::max<ssize_t>(n, 0))), l.target);
        }
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                         QDir::NoDotAndDotDot),
                  QStringList({"absolute.jpg", "dangling.jpg", "relative.jpg"}));
    }
    EXPECT_EQ(readFile(src), before);
    if (other.isEmpty())
        GTEST_SKIP() << "no second volume: moved on one volume only";
}

TEST_F(FileOps, RenamesStayInTheirFolderAndNeverReplace) {
    write("a/other.jpg", "other");
    // Other names of the same file (hard links), one differing only by case.
    for (const char* name : {"a/hard.jpg", "a/PHOTO.JPG"})
        ASSERT_EQ(link(QFile::encodeName(src), QFile::encodeName(path(name))), 0);
    struct Case {
        QString name;
        FileError expected;
    } cases[] = {{"", FileError::PathAccess},
                 {".", FileError::PathAccess},
                 {"../b/photo.jpg", FileError::PathAccess},
                 {"sub/x.jpg", FileError::PathAccess},
                 {"other.jpg", FileError::AlreadyExists},
                 {"hard.jpg", FileError::AlreadyExists},
                 {"PHOTO.JPG", FileError::AlreadyExists},
                 {"photo.jpg", FileError::None}};
    for (const Case& c : cases)
        EXPECT_EQ(renameEntry(src, c.name).error, c.expected) << c.name.toStdString();
    EXPECT_EQ(entries("a"), QStringList({"hard.jpg", "other.jpg", "photo.jpg", "PHOTO.JPG"}));
    for (const char* name : {"a/hard.jpg", "a/PHOTO.JPG"})
        QFile::remove(path(name));
    EXPECT_EQ(entries("b"), QStringList());
    ASSERT_TRUE(renameEntry(src, QStringLiteral("Été.jpg")).ok());
    EXPECT_EQ(entries("a"), QStringList({"other.jpg", "Été.jpg"}));
}

// Files and folders go to the trash of a home on the same file system;
// links go as links, and home, its trash and what holds them are refused.
TEST_F(FileOps, DeletionsGoToTheTrashAndHomeIsRefused) {
    const QByteArray oldHome = qgetenv("HOME"), oldData = qgetenv("XDG_DATA_HOME");
    const QString home = path("home");
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_DATA_HOME", QFile::encodeName(path("home/.local/share")));
    write("home/pics/tree/sub/x.txt", "x");
    write("home/pics/gone/y.txt", "y");
    QDir().mkpath(path("home/.local/share/Trash"));
    const QString outside = write("outside.txt", "keep");
    QFile::link(outside, path("a/link.txt"));

    const FileResult folder = deleteFolder(path("home/pics/tree"));
    const FileResult permanent = deleteFolder(path("home/pics/gone"), Deletion::Permanent);
    for (const FileResult& r :
         {deleteFolder(path("home")), deleteFolder(path(".")), deleteFolder(path("home/.local")),
          deleteFolder(path("home/.local/share/Trash")), deleteFolderTree(home),
          deleteFolderTree(dir.path())})
        EXPECT_EQ(r.error, FileError::PathAccess);
    EXPECT_TRUE(QFileInfo::exists(src));
    const FileResult file = deleteFile(src);
    const FileResult unlinked = deleteFile(path("a/link.txt"));
    qputenv("HOME", oldHome);
    qputenv("XDG_DATA_HOME", oldData);

    ASSERT_TRUE(folder.ok() && file.ok());
    for (const FileResult& r : {folder, file})
        EXPECT_TRUE(r.trashPath.startsWith(path("home/.local/share/Trash/")))
            << r.trashPath.toStdString();
    EXPECT_FALSE(entryExists(path("home/pics/tree")));
    EXPECT_TRUE(QFileInfo(folder.trashPath).isDir());
    EXPECT_EQ(readFile(folder.trashPath + QStringLiteral("/sub/x.txt")), "x");
    EXPECT_TRUE(permanent.ok() && permanent.trashPath.isEmpty());
    EXPECT_FALSE(entryExists(path("home/pics/gone")));
    EXPECT_FALSE(QFileInfo::exists(src));
    EXPECT_EQ(readFile(file.trashPath).size(), 3 << 20);
    EXPECT_TRUE(unlinked.ok());
    EXPECT_EQ(readFile(outside), "keep");
    EXPECT_EQ(deleteFile(src).error, FileError::FileMissing);
    EXPECT_EQ(deleteFile(path("b")).error, FileError::PathAccess);
}

TEST_F(FileOps, FolderTreeDeletionStaysInsideItsFolder) {
    const QString outside = write("outside/keep.txt", "keep");
    write("tree/.hidden", "h");
    write("tree/sub/deeper/file.txt", "f");
    write("tree/locked/ro.txt", "r");
    chmod(QFile::encodeName(path("tree/locked/ro.txt")).constData(), 0444);
    chmod(QFile::encodeName(path("tree/locked")).constData(), 0555);
    QFile::link(outside, path("tree/sub/file-link"));
    QFile::link(path("outside"), path("tree/folder-link"));
    link(QFile::encodeName(outside), QFile::encodeName(path("tree/hard")));

    EXPECT_TRUE(deleteFolderTree(path("tree")).ok());
    EXPECT_FALSE(QFileInfo::exists(path("tree")));
    EXPECT_EQ(readFile(outside), "keep");
    EXPECT_EQ(entries("outside"), QStringList{"keep.txt"});

    // A link given as the folder goes as a link.
    QFile::link(path("outside"), path("alias"));
    EXPECT_TRUE(deleteFolderTree(path("alias")).ok());
    EXPECT_EQ(entries("outside"), QStringList{"keep.txt"});

    for (const QString& root : {QStringLiteral("/"), QStringLiteral("/proc"), QString("/..")})
        EXPECT_EQ(deleteFolderTree(root).error, FileError::PathAccess) << root.toStdString();
    EXPECT_TRUE(QFileInfo::exists(QStringLiteral("/proc/self")));
}

TEST_F(FileOps, FolderTreeDeletionNeverEntersAnotherVolume) {
    write("tree/file.txt", "f");
    SmallVolume inner(path("tree/mounted"));
    if (!inner.mounted)
        GTEST_SKIP() << "mounting needs root";
    testutil::writeFile(dir, QStringLiteral("tree/mounted/precious.txt"), "p");
    EXPECT_TRUE(isVolumeRoot(inner.path));
    EXPECT_EQ(deleteFolderTree(path("tree")).error, FileError::PathAccess);
    EXPECT_EQ(readFile(path("tree/mounted/precious.txt")), "p");
    EXPECT_FALSE(QFileInfo::exists(path("tree/file.txt")));
    EXPECT_EQ(deleteFolderTree(inner.path).error, FileError::PathAccess);
    EXPECT_EQ(removeEmptyFolder(inner.path).error, FileError::PathAccess);
}

TEST_F(FileOps, FoldersAreMadeAndRemovedOnlyWhenEmpty) {
    EXPECT_EQ(makeFolder(path("x/y/z")).error, FileError::FolderMissing);
    EXPECT_TRUE(makeFolder(path("x/y/z"), true).ok());
    EXPECT_EQ(makeFolder(path("x/y/z")).error, FileError::AlreadyExists);
    EXPECT_EQ(removeEmptyFolder(path("x/y")).error, FileError::PathAccess);
    EXPECT_TRUE(removeEmptyFolder(path("x/y/z")).ok());
    EXPECT_EQ(removeEmptyFolder(path("x/y/z")).error, FileError::FolderMissing);
}

TEST_F(FileOps, ABackgroundCopyCancelsAndCleansUp) {
    // Every write waits for the test's word: the copy is still running
    // when it is stopped, however loaded the machine.
    auto go = std::make_shared<std::atomic<bool>>(false);
    const WriteFunction held = [go](int fd, const void* data, size_t size) {
        while (!*go)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return ::write(fd, data, size);
    };
    FileCopyTask task;
    task.setWriteFunction(held);
    std::optional<FileResult> result;
    QObject::connect(&task, &FileCopyTask::finished, [&](const FileResult& r) { result = r; });
    ASSERT_TRUE(task.start(src, path("b/photo.jpg"), false));
    EXPECT_FALSE(task.start(src, path("b/again.jpg"), false));
    ASSERT_TRUE(testutil::waitUntil([&] { return entries("b").size() == 1; }));
    task.cancel();
    *go = true;
    ASSERT_TRUE(testutil::waitUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(result->cancelled);
    EXPECT_EQ(entries("b"), QStringList());

    // Destroyed while copying: the worker still removes its file.
    *go = false;
    auto owned = std::make_unique<FileCopyTask>();
    owned->setWriteFunction(held);
    owned->start(src, path("b/photo.jpg"), false);
    ASSERT_TRUE(testutil::waitUntil([&] { return entries("b").size() == 1; }));
    owned.reset();
    *go = true;
    EXPECT_TRUE(testutil::waitUntil([&] { return entries("b").isEmpty(); }));
}
