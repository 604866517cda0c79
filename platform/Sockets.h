#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Event.h"

namespace korven {

// A UDP socket of the window. Datagrams are byte strings: one character per
// byte, unchanged.
class UdpSocket {
 public:
  virtual ~UdpSocket() = default;

  void setRemoteHost(std::string host) { remoteHost_ = std::move(host); }
  const std::string& remoteHost() const { return remoteHost_; }
  void setRemotePort(int port) { remotePort_ = port; }
  int remotePort() const { return remotePort_; }

  // The local port: the one bound, or the one asked for before binding.
  virtual int localPort() const = 0;
  // Moves the socket to another local port (rebinding it when it is bound).
  virtual bool setLocalPort(int port) = 0;
  // Binds the local port on all local addresses, without sharing it.
  virtual bool bind() = 0;
  // Sends one datagram to the remote host and port; false when it cannot go.
  virtual bool sendData(std::string_view bytes) = 0;
  // The datagram being announced by onDataArrival. A datagram that the
  // handler does not read is read and dropped by the socket afterwards.
  virtual std::string getData() = 0;

  Event<std::size_t> onDataArrival;  // bytes waiting

 private:
  std::string remoteHost_;
  int remotePort_ = 0;
};

// Classic states of a TCP client socket.
namespace tcp_state {
inline constexpr int Closed = 0;
inline constexpr int Open = 1;
inline constexpr int Listening = 2;
inline constexpr int ConnectionPending = 3;
inline constexpr int ResolvingHost = 4;
inline constexpr int HostResolved = 5;
inline constexpr int Connecting = 6;
inline constexpr int Connected = 7;
inline constexpr int Closing = 8;  // the peer closed
inline constexpr int Error = 9;    // an attempt or the connection failed
}  // namespace tcp_state

class TcpSocket {
 public:
  virtual ~TcpSocket() = default;

  void setRemoteHost(std::string host) { remoteHost_ = std::move(host); }
  const std::string& remoteHost() const { return remoteHost_; }
  void setRemotePort(int port) { remotePort_ = port; }
  int remotePort() const { return remotePort_; }

  virtual int state() const = 0;
  // Starts connecting to the remote host and port; onConnect follows when
  // the peer accepts, state 9 when it fails. False when the socket is not
  // closed; false too, and state 9 at once, when the host is not a
  // terminal's address: no dotted IPv4 address, or one no terminal has (0.x,
  // multicast, class E, a broadcast address; platform/system/TerminalAddress.h).
  virtual bool connect() = 0;
  bool connect(std::string host, int port) {
    setRemoteHost(std::move(host));
    setRemotePort(port);
    return connect();
  }
  // Hands the bytes to the connection as one write; false when not connected.
  // What the system does not take at once waits in order, before later sends.
  virtual bool sendData(std::string_view bytes) = 0;
  // Everything received and not yet read.
  virtual std::string getData() = 0;
  // Drops the connection at once, discarding unread data; the state is 0 after.
  // Bytes that had not gone yet are lost with it.
  virtual void close() = 0;

  // The truth of a stream, counted from the start of the last connection:
  // the bytes sendData accepted, and of those the ones known to have got
  // through, acknowledged by the peer where the system tells, else taken by
  // the system (a stream is then whole only as far as the system knows, and
  // the terminal's verdict is what confirms it). After a failure or a close
  // both stay as they were then; whatever lies between the two never reached
  // the peer.
  virtual std::uint64_t bytesHandedOver() const = 0;
  virtual std::uint64_t bytesDelivered() const = 0;

  Event<> onConnect;
  Event<std::size_t> onDataArrival;  // bytes waiting

 private:
  std::string remoteHost_;
  int remotePort_ = 0;
};

}  // namespace korven
