// Reading outside files and writing our own, with whatever sits at the path:
// every special file is made inside a temporary folder.
#include <gtest/gtest.h>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "TestHost.h"
#include "shared/FileExists.h"
#include "shared/InputFile.h"
#include "shared/OutputFile.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/inotify.h>
#endif

namespace {

using inputfile::Error;

// A device that hands out its bytes a few at a time, as a pipe or a slow
// disk may: lines and line ends then straddle the reads.
class TrickleDevice final : public QBuffer {
  public:
    explicit TrickleDevice(const QByteArray& data) {
        setData(data);
        open(QIODevice::ReadOnly);
    }

  protected:
    qint64 readData(char* data, qint64 maxSize) override {
        return QBuffer::readData(data, std::min<qint64>(maxSize, 2));
    }
};

QList<QByteArray> AllLines(LineReader& reader) {
    QList<QByteArray> lines;
    QByteArray line;
    while (reader.Next(&line)) lines << line;
    return lines;
}

struct Folder {
    QString Put(const char* name, const QByteArray& content) const {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) file.write(content);
        return path;
    }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

#ifdef Q_OS_UNIX
// The special files the program may be pointed at, made in `folder`.
struct SpecialFiles {
    explicit SpecialFiles(const Folder& folder) {
        pipe = folder.Path("pipe");
        device = folder.Path("null");
        loop = folder.Path("loop");
        big = folder.Path("big");
        ::mkfifo(QFile::encodeName(pipe).constData(), 0600);
        // A device node like /dev/null, under the temporary folder.
        ::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3));
        QFile::link(loop, loop);
        QFile file(big);
        if (file.open(QIODevice::WriteOnly)) file.resize(inputfile::kMaxHexBytes + 1);
    }
    QString pipe, device, loop, big;
};
#endif

#ifdef __linux__
// Whether anything opened the files it watches since it was last asked.
class OpenWatch {
  public:
    explicit OpenWatch(const QStringList& paths) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        for (const QString& path : paths)
            ::inotify_add_watch(fd_, QFile::encodeName(path).constData(), IN_OPEN);
    }
    ~OpenWatch() { ::close(fd_); }
    bool Opened() const {
        alignas(inotify_event) char events[4096];
        bool any = false;
        while (::read(fd_, events, sizeof events) > 0) any = true;
        return any;
    }

  private:
    int fd_;
};
#endif

}  // namespace

TEST(LineReader, SplitsAtEveryLineEndAcrossReadsAndSkipsAByteOrderMark) {
    struct Case {
        QByteArray text;
        QList<QByteArray> lines;
    } const cases[] = {
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\r\n", {"a"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"\r\r\n\n", {"", "", ""}},
        {"", {}},
        {"\xEF\xBB\xBF:00000001FF\r\n", {":00000001FF"}},
        {"\xEF\xBB", {"\xEF\xBB"}},            // not a whole mark: kept
        {"x\xEF\xBB\xBF", {"x\xEF\xBB\xBF"}},  // only before the first line
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        LineReader inMemory(c.text);
        EXPECT_EQ(AllLines(inMemory), c.lines);
        TrickleDevice device(c.text);
        LineReader streamed(device, 1000);
        EXPECT_EQ(AllLines(streamed), c.lines);
        EXPECT_FALSE(streamed.failed());
        EXPECT_EQ(streamed.lineNumber(), c.lines.size());
    }
}

TEST(LineReader, ADeviceThatDeliversMoreThanItsBoundFails) {
    TrickleDevice device(QByteArray(100, '\n'));
    LineReader reader(device, 10);
    EXPECT_EQ(AllLines(reader).size(), 10);
    EXPECT_TRUE(reader.failed());
}

#ifdef Q_OS_UNIX
TEST(InputFile, OnlyARegularFileWithinItsBoundIsOpened) {
    Folder folder;
    const SpecialFiles special(folder);
    const QString good = folder.Put("good.hex", ":00000001FF\r\n");
    QFile::link(good, folder.Path("link.hex"));
    struct Case {
        QString path;
        Error error;
        bool exists;  // what FileExists says of it
    } const cases[] = {
        {good, Error::None, true},
        {folder.Path("link.hex"), Error::None, true},
        {folder.Path("missing.hex"), Error::Missing, false},
        {QString(), Error::Missing, false},
        {folder.dir.path(), Error::NotRegular, false},
        {special.pipe, Error::NotRegular, true},
        {special.device, Error::NotRegular, true},
        {special.loop, Error::Unreadable, false},
        {special.big, Error::TooLarge, true},
    };
#ifdef __linux__
    const OpenWatch watch({special.pipe, special.device});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        // A pipe without a writer would hold a blocking open forever.
        const InputFile file(c.path, inputfile::kMaxHexBytes);
        EXPECT_EQ(file.error(), c.error);
        EXPECT_EQ(file.isOpen(), c.error == Error::None);
#ifdef __linux__
        // Refused before it is opened.
        EXPECT_FALSE(watch.Opened());
#endif
        EXPECT_EQ(FileExists(c.path), c.exists);
        // Had the path been swapped after the look, the open would refuse
        // it at once all the same; only the size is not looked at again.
        QFile opened;
        QString why;
        EXPECT_EQ(inputfile::OpenRegularFile(c.path, opened, &why),
                  c.error == Error::TooLarge ? Error::None : c.error);
#ifdef __linux__
        watch.Opened();
#endif
    }
}

TEST(OutputFile, ReplacesARegularFileAndLeavesAnythingElseAsItIs) {
    Folder folder;
    const SpecialFiles special(folder);
    const QString old = folder.Put("old.hex", "old");
    const QString target = folder.Put("target.hex", "target");
    QFile::link(target, folder.Path("link.hex"));
    QFile::link(folder.Path("no/such/folder.hex"), folder.Path("dangling.hex"));
    struct Case {
        QString path;
        outputfile::Error error;
        QString written;  // where the content lands
    } const cases[] = {
        {old, outputfile::Error::None, old},
        {folder.Path("new.hex"), outputfile::Error::None, folder.Path("new.hex")},
        {folder.Path("link.hex"), outputfile::Error::None, target},
        {special.pipe, outputfile::Error::NotRegular, {}},
        {special.device, outputfile::Error::NotRegular, {}},
        {folder.dir.path(), outputfile::Error::NotRegular, {}},
        {folder.Path("no/such/folder.hex"), outputfile::Error::Failed, {}},
        {folder.Path("old.hex/x.hex"), outputfile::Error::Failed, {}},
        {special.loop, outputfile::Error::Failed, {}},
        {folder.Path("dangling.hex"), outputfile::Error::Failed, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QString why;
        EXPECT_EQ(outputfile::Save(c.path, "new", &why), c.error);
        EXPECT_EQ(why.isEmpty(), c.error == outputfile::Error::None);
        if (!c.written.isEmpty()) {
            QFile file(c.written);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), "new");
        }
    }
    // The special files are still what they were, and nothing was left beside them.
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(special.pipe).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    ASSERT_EQ(::stat(QFile::encodeName(special.device).constData(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    for (const char* link : {"link.hex", "loop", "dangling.hex"})
        EXPECT_TRUE(QFileInfo(folder.Path(link)).isSymLink()) << link;
    EXPECT_EQ(QDir(folder.dir.path()).entryList(QDir::Files | QDir::System).size(), 9);
}

TEST(OutputFile, AReplacedFileKeepsItsPermissionsAndANewOneTakesTheUmask) {
    Folder folder;
    const QString old = folder.Put("old.hex", "old");
    const QByteArray oldName = QFile::encodeName(old);
    ASSERT_EQ(::chmod(oldName.constData(), 0444), 0);
    const mode_t umask = ::umask(022);
    const QString made = folder.Path("new.hex");
    for (const QString& path : {old, made})
        EXPECT_EQ(outputfile::Save(path, "new"), outputfile::Error::None);
    ::umask(umask);
    struct stat info {};
    ASSERT_EQ(::stat(oldName.constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
    ASSERT_EQ(::stat(QFile::encodeName(made).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}
#endif
