#pragma once
// The FTP client behind the transfer window: one control connection at a time, opened and logged
// in as one step, over which the size of a remote file is asked and files are retrieved and
// stored. Transfers are binary and use passive data connections. With useTls the connection is
// explicit FTPS (AUTH TLS on the control connection, protected data connections) with the
// server's certificate verified; a server that offers no TLS is refused before the user name and
// password are sent.
//
// Every call blocks until done and reports its failure as FtpClientError with a Norwegian reason.
// Nothing waits forever: connecting, every server reply and every stretch of a transfer without
// progress are bounded by the options' limits.
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <stdexcept>

namespace platform {

// A failed client call. what() is the reason in Norwegian, fit for a log line.
class FtpClientError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct FtpClientOptions {
    // Limit for reaching the server and logging in, and for each reply the server owes.
    int connectTimeoutSeconds = 30;
    // A transfer with no bytes moving for this long is given up.
    int stallSeconds = 30;
    // The certificates a TLS server's certificate is checked against; empty means the system's
    // store.
    QString caFile;
};

class FtpClient {
public:
    enum class WorkMode { Read, Write };  // Read: a download, Write: an upload

    virtual ~FtpClient() = default;

    // Where and as whom Connect logs in.
    QString Host;
    QString Username;
    QString Password;
    int Port = 21;
    bool UseTls = false;

    // Notifications, each optional: the connection was made, the connection was closed (by
    // Disconnect, or because a failure lost it), a transfer starts, and the bytes moved so far in
    // the current transfer.
    std::function<void()> OnConnected;
    std::function<void()> OnDisconnected;
    std::function<void(WorkMode)> OnWorkBegin;
    std::function<void(qint64 count)> OnWork;

    // Connects to Host:Port and logs in. An open connection is closed first.
    virtual void Connect() = 0;
    // The size of the remote file in bytes; -1 when the server gives no size for it (no such
    // file, or no SIZE command).
    virtual qint64 Size(const QString& remoteName) = 0;
    // Retrieves the remote file into localFile, which is replaced from its start (no resuming).
    // On failure localFile holds what arrived.
    virtual void Get(const QString& remoteName, const QString& localFile) = 0;
    // Stores localFile under the remote name, replacing a remote file of that name (never
    // appending).
    virtual void Put(const QString& localFile, const QString& remoteName) = 0;
    // Logs out and closes the connection; nothing happens when there is none.
    virtual void Disconnect() = 0;
    virtual bool Connected() const = 0;
};

// The client on Linux: libcurl.
std::unique_ptr<FtpClient> CreateCurlFtpClient(const FtpClientOptions& options = {});

}  // namespace platform
