#pragma once
// Clients of the service from many addresses on one machine. Linux answers
// for all of 127.0.0.0/8 on the loopback device, so a socket bound to
// 127.1.0.5 before it connects to 127.0.0.1 is a client from another
// address: the service's per-address limits see a crowd, and no packet
// leaves the machine.

#include <string>

namespace nuve::test {

// Raises this process's limit of open descriptors to its hard limit:
// thousands of clients need as many.
void RaiseDescriptorLimit();

// The n-th source address, 127.1.0.0 onward (n < 65536 * 254).
std::string LoopbackAddress(int n);

// A TCP socket from `source` (an IPv4 text) to 127.0.0.1:port, connecting
// (without waiting when `nonblocking`); -1 when it cannot be made. Closed
// with a reset, so thousands of them leave no TIME_WAIT behind.
// `receive_buffer` > 0 shrinks the socket's receive buffer first (a slow
// reader's small window).
int ConnectFrom(const std::string& source, int port, bool nonblocking, int receive_buffer = 0);

// Waits up to `timeout_ms` for the server to close or reset the socket;
// whether it did. Bytes it sent first are read and dropped.
bool ClosedByServer(int fd, int timeout_ms);

// Sends `request` on a blocking socket and reads one reply (headers and a
// Content-Length body); "" when the connection ends first or nothing comes
// within `timeout_ms`.
std::string Exchange(int fd, const std::string& request, int timeout_ms = 10000);

// A form POST as raw bytes, with `extra` header lines ("Name: value\r\n").
std::string FormRequest(const std::string& path, const std::string& body, const std::string& extra = "");

// The status of a raw reply ("HTTP/1.1 431 ..." gives 431); 0 for none.
int StatusOf(const std::string& reply);
// The body of a raw reply.
std::string BodyOf(const std::string& reply);

}  // namespace nuve::test
