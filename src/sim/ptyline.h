#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace koru::sim {

// The simulator's end of a kernel pseudo-terminal. The master side is ours,
// raw and non-blocking; whoever plays the panel opens the slave by its path.
//
// We hold one slave descriptor ourselves for as long as the line is open:
// without any slave open, the master reads EIO and polls as hung up without
// pause, which would spin the event loop whenever the panel closes and
// reopens its port.
class PtyLine
{
public:
    PtyLine() = default;
    ~PtyLine();
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    // `baud` is the line speed the slave starts with, so that a peer that
    // never sets one talks at the simulator's speed; 0 leaves the default.
    bool open(QString *error, int baud = 0);
    bool isOpen() const { return m_master >= 0; }
    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }
    // The line speed the peer has set on its end, in baud; 0 when it is not
    // one of the standard speeds or the line is closed.
    int lineSpeed() const;
    // One of the speeds a terminal line can be set to by its number.
    static bool isStandardSpeed(int baud);

    enum class Status { Ok, WouldBlock, Failed };
    struct ReadResult
    {
        QByteArray bytes;
        Status status = Status::Ok;
        QString error;
    };
    // Whatever is waiting, up to `limit` bytes, without blocking.
    ReadResult read(qsizetype limit);

    struct WriteResult
    {
        qsizetype written = 0;
        Status status = Status::Ok;
        QString error;
    };
    WriteResult write(QByteArrayView bytes);

    // Hangs the line up: the slave side sees end of file and POLLHUP.
    void close();

private:
    int m_master = -1;
    int m_slaveKeeper = -1;
    QString m_slavePath;
};

} // namespace koru::sim
