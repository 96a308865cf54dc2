#include "tests/support/pcscd_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "card/pcsc.h"
#include "core/text.h"

namespace testing_support {
namespace {

constexpr char kVpcdDriver[] = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so";
constexpr char kPcscd[] = "/usr/sbin/pcscd";

bool PortFree(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  bool free = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return free;
}

// FreePortPair finds p with p and p + 1 free: vpcd serves a second slot on p + 1.
int FreePortPair(const std::vector<int>& taken) {
  std::mt19937 random(static_cast<unsigned>(getpid()) ^ static_cast<unsigned>(time(nullptr)));
  for (int attempt = 0; attempt < 200; ++attempt) {
    int port = 20000 + 2 * static_cast<int>(random() % 15000);
    bool clash = false;
    for (int t : taken) clash |= (port == t || port == t + 1 || port + 1 == t);
    if (!clash && PortFree(port) && PortFree(port + 1)) return port;
  }
  return -1;
}

bool ReadAll(int fd, uint8_t* buf, size_t len) {
  while (len > 0) {
    ssize_t n = recv(fd, buf, len, 0);
    if (n <= 0) return false;
    buf += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

bool SendFrame(int fd, const Bytes& payload) {
  Bytes frame{static_cast<uint8_t>(payload.size() >> 8), static_cast<uint8_t>(payload.size())};
  Append(&frame, payload);
  return send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size());
}

std::string RunFolder() {
  return "/tmp/qm-pcscd-" + std::to_string(getpid());
}

}  // namespace

VpcdCard::VpcdCard(VirtualDnie* card, int port) : card_(card) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return;
  }
  fd_ = fd;
  thread_ = std::thread([this] { Serve(); });
}

VpcdCard::~VpcdCard() {
  if (fd_ < 0) return;
  shutdown(fd_, SHUT_RDWR);
  thread_.join();
  close(fd_);
}

void VpcdCard::Serve() {
  for (;;) {
    uint8_t header[2];
    if (!ReadAll(fd_, header, 2)) return;
    Bytes payload(size_t{header[0]} << 8 | header[1]);
    if (!ReadAll(fd_, payload.data(), payload.size())) return;
    if (payload.size() == 1) {
      // Controls: 0 power off, 1 power on, 2 reset, 4 get ATR (the only one answered).
      if (payload[0] == 0 || payload[0] == 1 || payload[0] == 2) card_->Reset();
      if (payload[0] == 4 && !SendFrame(fd_, card_->atr())) return;
      continue;
    }
    if (!SendFrame(fd_, card_->Process(payload))) return;
  }
}

PrivatePcscd::PrivatePcscd(std::vector<std::string> friendlyNames) : names_(std::move(friendlyNames)) {}

PrivatePcscd::~PrivatePcscd() {
  Stop();
}

std::string PrivatePcscd::SocketPath() {
  return RunFolder() + "/pcscd/pcscd.comm";
}

void PrivatePcscd::UsePrivateSocket() {
  setenv("PCSCLITE_CSOCK_NAME", SocketPath().c_str(), 1);
}

bool PrivatePcscd::Start(std::string* why) {
  if (access(kPcscd, X_OK) != 0 || access(kVpcdDriver, R_OK) != 0) {
    *why = "pcscd o el controlador vpcd no estan instalados";
    return false;
  }
  if (geteuid() != 0) {
    *why = "hace falta root para dar a pcscd un espacio de montaje propio";
    return false;
  }
  std::error_code ignored;
  std::filesystem::remove_all(RunFolder(), ignored);
  std::filesystem::create_directories(RunFolder());
  std::filesystem::create_directories(dir_.File("conf"));
  for (size_t i = 0; i < names_.size(); ++i) {
    const int port = FreePortPair(ports_);
    if (port < 0) {
      *why = "no hay puertos TCP libres";
      return false;
    }
    ports_.push_back(port);
    // One loaded copy of the driver serves one reader only.
    const std::string driver = dir_.File("vpcd" + std::to_string(i) + ".so");
    std::filesystem::copy_file(kVpcdDriver, driver, std::filesystem::copy_options::overwrite_existing);
    char hexPort[16];
    std::snprintf(hexPort, sizeof hexPort, "0x%04X", port);
    WriteFileText(dir_.File("conf/reader" + std::to_string(i) + ".conf"),
                  "FRIENDLYNAME \"" + names_[i] + "\"\nDEVICENAME /dev/null:" + hexPort + "\nLIBPATH " +
                      driver + "\nCHANNELID " + hexPort + "\n");
  }
  const std::string script =
      "mount --bind " + Quote(RunFolder()) + " /run && exec " + kPcscd + " -f -c " + Quote(dir_.File("conf"));
  const std::string log = dir_.File("pcscd.log");
  daemon_ = fork();
  if (daemon_ == 0) {
    int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(out, 2);
    execlp("unshare", "unshare", "--mount", "--propagation", "private", "sh", "-c", script.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  std::vector<std::string> readers;
  const bool ready = WaitFor(
      [&] {
        std::string message;
        readers = ListReaders(&message);
        int status = 0;
        if (waitpid(daemon_, &status, WNOHANG) == daemon_) {
          daemon_ = -1;
          return true;
        }
        return readers.size() >= 2 * names_.size();
      },
      20);
  if (!ready || daemon_ < 0) {
    *why = "pcscd no arranco: " + ToText(ReadFileBytes(log));
    Stop();
    return false;
  }
  return true;
}

void PrivatePcscd::Stop() {
  cards_.clear();
  if (daemon_ > 0) {
    StopChild(daemon_, 3);
    daemon_ = -1;
  }
  std::error_code ignored;
  std::filesystem::remove_all(RunFolder(), ignored);
}

bool PrivatePcscd::Insert(size_t index, VirtualDnie* card) {
  if (cards_.size() <= index) cards_.resize(index + 1);
  cards_[index] = std::make_unique<VpcdCard>(card, ports_[index]);
  if (!cards_[index]->connected()) return false;
  const std::string atr = HexEncode(card->atr());
  return WaitFor([&] { return ReadReaderAtr(ReaderName(index)) == atr; }, 15);
}

bool PrivatePcscd::Remove(size_t index) {
  if (index < cards_.size()) cards_[index].reset();
  return WaitFor([&] { return ReadReaderAtr(ReaderName(index)).empty(); }, 15);
}

}  // namespace testing_support
