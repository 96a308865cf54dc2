#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

#include "tests/support/test_support.h"
#include "tests/support/virtual_dnie.h"

namespace testing_support {

// VpcdCard puts a virtual card into a vpcd reader: it connects to the reader's TCP port and
// answers for the card (power, ATR, APDUs) until it is destroyed, which takes the card out.
class VpcdCard {
 public:
  VpcdCard(VirtualDnie* card, int port);
  ~VpcdCard();
  VpcdCard(const VpcdCard&) = delete;
  VpcdCard& operator=(const VpcdCard&) = delete;
  bool connected() const { return fd_ >= 0; }

 private:
  void Serve();
  VirtualDnie* card_;
  int fd_ = -1;
  std::thread thread_;
};

// PrivatePcscd runs a pcscd of the test's own, in a mount namespace of its own so that its
// socket lands in a private folder, with one vpcd reader per name (each with its own copy of
// the driver). Clients reach it through PCSCLITE_CSOCK_NAME, which the PC/SC client library
// reads once per process: call UsePrivateSocket() before the first PC/SC call.
class PrivatePcscd {
 public:
  explicit PrivatePcscd(std::vector<std::string> friendlyNames);
  ~PrivatePcscd();
  PrivatePcscd(const PrivatePcscd&) = delete;
  PrivatePcscd& operator=(const PrivatePcscd&) = delete;

  // UsePrivateSocket points this process's PC/SC clients at the private daemon's socket.
  static void UsePrivateSocket();
  static std::string SocketPath();

  // Start returns false with the reason when this machine cannot run the daemon.
  bool Start(std::string* why);
  void Stop();
  // ReaderName is the name the daemon gives the first slot of reader `index`.
  std::string ReaderName(size_t index) const { return names_[index] + " 00 00"; }
  // Insert puts `card` in reader `index` and waits until the daemon reports its ATR.
  [[nodiscard]] bool Insert(size_t index, VirtualDnie* card);
  // Remove takes the card out and waits until the daemon has noticed.
  [[nodiscard]] bool Remove(size_t index);

 private:
  std::vector<std::string> names_;
  std::vector<int> ports_;
  std::vector<std::unique_ptr<VpcdCard>> cards_;
  TempDir dir_;
  pid_t daemon_ = -1;
};

}  // namespace testing_support
