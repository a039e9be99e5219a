#include "link/found_settings_posix.h"

#include <sys/ioctl.h>

#include <array>
#include <atomic>

#include "link/serial_port_posix.h"

namespace qlr {
namespace {

// A signal handler cannot take a lock or allocate, so the devices open now
// sit in a fixed table of lock-free slots: one per SerialPort that is open.
struct Slot {
  std::atomic<bool> taken{false};
  std::atomic<int> fd{-1};  // set last, after `settings`; -1 while filling or free
  std::atomic<bool> lowLatencySet{false};
  termios settings{};
};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

constexpr std::size_t SlotCount = 16;
std::array<Slot, SlotCount> openPorts;

int TakeSlot(int fd, const termios& settings) {
  for (std::size_t i = 0; i < openPorts.size(); ++i) {
    bool expected = false;
    if (!openPorts[i].taken.compare_exchange_strong(expected, true)) continue;
    openPorts[i].settings = settings;
    openPorts[i].fd.store(fd, std::memory_order_release);
    return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

bool FoundSettings::Keep(const SystemCalls& calls, int fd) {
  Forget();
  if (calls.tcgetattr(fd, &settings_) != 0) return false;
  fd_ = fd;
  slot_ = TakeSlot(fd, settings_);
  return true;
}

void FoundSettings::NoteLowLatencySet(bool set) {
  if (slot_ >= 0) openPorts[static_cast<std::size_t>(slot_)].lowLatencySet.store(set);
}

void FoundSettings::PutBack(const SystemCalls& calls) {
  if (fd_ < 0) return;
  // TCSANOW: nothing of ours is still on its way out when a port closes, and
  // a wait for the line could block.
  calls.tcsetattr(fd_, TCSANOW, &settings_);
  Forget();
}

void FoundSettings::Forget() {
  if (slot_ >= 0) {
    Slot& slot = openPorts[static_cast<std::size_t>(slot_)];
    slot.fd.store(-1, std::memory_order_release);
    slot.lowLatencySet.store(false);
    slot.taken.store(false, std::memory_order_release);
  }
  slot_ = -1;
  fd_ = -1;
}

void RestoreOpenSerialPorts() {
  const SystemCalls& calls = SystemCalls::Real();
  for (Slot& slot : openPorts) {
    const int fd = slot.fd.load(std::memory_order_acquire);
    if (fd < 0) continue;
    ::tcsetattr(fd, TCSANOW, &slot.settings);
    if (slot.lowLatencySet.load()) LowLatency::Clear(calls, fd);
    ::ioctl(fd, TIOCNXCL, nullptr);
  }
}

}  // namespace qlr
