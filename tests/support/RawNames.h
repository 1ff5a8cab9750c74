// Files handled by their bytes, past the program's code and Qt alike: a test
// makes and checks names that are not UTF-8 with these, so what it sees is
// what the file system holds. RemoveTreeRaw clears such names from a test's
// temporary folder (QTemporaryDir removes through Qt's lossy names and
// leaves them behind).
#pragma once

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorbel::test {

inline bool ExistsRaw(const QByteArray &path)
{
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

// Writes bytes as the whole file path (mode 0600); false on failure.
inline bool PutRaw(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ::close(fd);
    return ok;
}

// The whole file at path; empty when it cannot be read.
inline QByteArray ReadRaw(const QByteArray &path)
{
    QByteArray data;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return data;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        data.append(buffer, qsizetype(n));
    ::close(fd);
    return data;
}

// The names in a folder, sorted; empty when it cannot be read.
inline QList<QByteArray> ListRaw(const QByteArray &folder)
{
    QList<QByteArray> names;
    if (DIR *d = ::opendir(folder.constData())) {
        while (const dirent *e = ::readdir(d))
            if (qstrcmp(e->d_name, ".") != 0 && qstrcmp(e->d_name, "..") != 0)
                names << QByteArray(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Removes everything inside folder (not following links), then folder.
inline void RemoveTreeRaw(const QByteArray &folder)
{
    ::chmod(folder.constData(), 0700);
    for (const QByteArray &name : ListRaw(folder)) {
        const QByteArray path = folder + '/' + name;
        struct stat st {};
        if (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            RemoveTreeRaw(path);
        else
            ::unlink(path.constData());
    }
    ::rmdir(folder.constData());
}

} // namespace zorbel::test
