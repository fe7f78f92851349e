// src/dk/common/net/pError.cpp
//
// The error reports of the socket and file layer under DKURL: one table from the errno and
// getaddrinfo codes to a symbolic name and a text, and the throw that carries them.

#include <dk/DKURL.hpp>
#include <dk/dkThrow.hpp>

#include <cerrno>
#include <netdb.h>

namespace {

constexpr const char* kSource = "dk/common/pError";

struct Entry {
    int number;
    const char* name;
    const char* text;
};

// Socket codes first, then the file-system ones; a number is listed once.
const Entry kTable[] = {
    {EAI_NONAME, "EAI_NONAME", "The host (key) was not found."},
    {EAI_AGAIN, "EAI_AGAIN", "Nonauthorative host not found; the name service may not be functioning."},
    {EAI_FAIL, "EAI_FAIL", "Nonrecoverable error; the name service may not be functioning."},
    {EAI_NODATA, "EAI_NODATA", "Valid name no data record of the requested type."},
    {EPIPE, "EPIPE", "Disconnect."},
    {EALREADY, "EALREADY", "Operation already in progress."},
    {ENOTSOCK, "ENOTSOCK", "Socket operation on a non-socket."},
    {EDESTADDRREQ, "EDESTADDRREQ", "Destination address required."},
    {EMSGSIZE, "EMSGSIZE", "Message size is too large."},
    {EPROTOTYPE, "EPROTOTYPE", "Protocol invalid for this socket type."},
    {ENOPROTOOPT, "ENOPROTOOPT", "Protocol is unavailable."},
    {EPROTONOSUPPORT, "EPROTONOSUPPORT", "Protocol not supported."},
    {ESOCKTNOSUPPORT, "ESOCKTNOSUPPORT", "Socket type not supported."},
    {EOPNOTSUPP, "EOPNOTSUPP", "Operation not supported on socket."},
    {EPFNOSUPPORT, "EPFNOSUPPORT", "Protocol family not supported."},
    {EAFNOSUPPORT, "EAFNOSUPPORT", "Address family not supported by protocol family."},
    {EADDRINUSE, "EADDRINUSE", "Local address is already in use."},
    {EADDRNOTAVAIL, "EADDRNOTAVAIL", "Remote address or port is not available."},
    {ENETDOWN, "ENETDOWN", "TCP/IP subsystem failed."},
    {ENETUNREACH, "ENETUNREACH", "The network is unreachable."},
    {ENETRESET, "ENETRESET", "Network dropped connection on reset."},
    {ECONNABORTED, "ECONNABORTED", "Session ended by local address due to transmission failure(no acks)."},
    {ECONNRESET, "ECONNRESET", "Session forcefully closed by remote host."},
    {ENOBUFS, "ENOBUFS", "No more buffer space is available."},
    {EISCONN, "EISCONN", "The socket is already connected."},
    {ENOTCONN, "ENOTCONN", "The socket is not connected."},
    {ESHUTDOWN, "ESHUTDOWN", "Cannot send after socket shutdown."},
    {ETOOMANYREFS, "ETOOMANYREFS", "Too many references; cannot splice."},
    {ETIMEDOUT, "ETIMEDOUT", "Connection timed out or session dropped because of remote failure."},
    {ECONNREFUSED, "ECONNREFUSED", "Remote address forcefully rejected connection request."},
    {ELOOP, "ELOOP", "Too many levels of symbolic links."},
    {ENAMETOOLONG, "ENAMETOOLONG", "File name is too long."},
    {EHOSTDOWN, "EHOSTDOWN", "The host is down."},
    {EHOSTUNREACH, "EHOSTUNREACH", "No route to the host."},
    {ENOTEMPTY, "ENOTEMPTY", "ENOTEMPTY"},
    {EUSERS, "EUSERS", "EUSERS"},
    {EDQUOT, "EDQUOT", "EDQUOT"},
    {ESTALE, "ESTALE", "ESTALE"},
    {EREMOTE, "EREMOTE", "EREMOTE"},
    {EINPROGRESS, "EINPROGRESS", "A blocking function is in progress."},
    {EFAULT, "EFAULT", "Bad address."},
    {EINVAL, "EINVAL", "Invalid argument."},
    {EMFILE, "EMFILE", "Out of socket descriptors."},
    {EWOULDBLOCK, "EWOULDBLOCK", "Socket marked as nonblocking; but can not be done immediately."},
    {EACCES, "EACCES", "Attempt to use broadcast address; but SO_BROADCAST is not enabled."},
    {EINTR, "EINTR", "Interrupted system call / canceled by WSACancelBlockingCall."},
    {EBADF, "EBADF", "Bad file descriptor."},
    {ESPIPE, "ESPIPE", "The file pointer cannot be set to the specified device or file."},
    {-1, "unrecoverable", "Unknown"},
    {ENOENT, "ENOENT", "The system cannot file the file specified."},
    {ENOTDIR, "ENOTDIR", "The system cannot find the specified path."},
    {ENFILE, "ENFILE", "The System cannot open anymore files."},
    {EPERM, "EPERM", "Access denied."},
    {ENOMEM, "ENOMEM", "Not enough storage is available to process this command."},
    {EROFS, "EROFS", "The media is write protected."},
    {ENXIO, "ENXIO", "The system cannot find the device specified."},
    {ENOMEDIUM, "ENOMEDIUM", "The device is not ready."},
    {ENODATA, "ENODATA", "The end of file was reached."},
    {EFBIG, "EFBIG", "The disk is full."},
    {EEXIST, "EEXIST", "The file already exists."},
    {ENOSPC, "ENOSPC", "There is not enough space on the disk."},
    {EUCLEAN, "EUCLEAN", "The file or directory is corrupt and unreachable."},
    {ETXTBSY, "ETXTBSY", "Invalid operation on a file with a user-mapped section opened."},
    {EIO, "EIO", "The request failed because of an I/O device error."},
    {ENODEV, "ENODEV", "The specified device name is invalid."},
    {EISDIR, "EISDIR", "The directory name is invalid."},
    {EBUSY, "EBUSY", "The requested resource is in use."},
};

const Entry* find(int number) {
    for (const Entry& e : kTable)
        if (e.number == number) return &e;
    return nullptr;
}

}  // namespace

const char* pError::name(int errorNumber) {
    const Entry* e = find(errorNumber);
    return e != nullptr ? e->name : "Unknown";
}

const char* pError::text(int errorNumber) {
    const Entry* e = find(errorNumber);
    return e != nullptr ? e->text : "Unknown";
}

void pError::raise(int errorNumber, const DKString& detail) {
    const DKString message = DKString(name(errorNumber)) + ": " + text(errorNumber) + " " + detail;
    dkThrowText<DKXDOError>(message, 0, kSource, "pError::pError");
}

pError::pError(int errorNumber, const DKString& detail) { raise(errorNumber, detail); }

pError::~pError() = default;
