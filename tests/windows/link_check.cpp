// link_check IMAGE REGION: finds the receiver on the ports of QLR5500_PORTS,
// checks its region, reads its EEPROM and compares it with IMAGE (128
// bytes), writes the same bytes back (each verified by the link), and closes
// the port. Prints each step's time and, for the transfers, the ratio to the
// ideal wire time (meaningful with a paced emulator). Exit 0 when all held.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "link/receiver_link.h"
#include "link/wire_time.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename Call>
double Milliseconds(Call&& call) {
  const auto start = Clock::now();
  call();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The time between successive addresses: one exchange each for a read, two for a write.
class AddressTimes : public qlr::ProgressSink {
 public:
  void SetRange(int, int) override { last_ = Clock::now(); }
  void SetPosition(int) override {
    const auto now = Clock::now();
    times_.push_back(std::chrono::duration<double, std::milli>(now - last_).count());
    last_ = now;
  }
  // "median M ms, slowest S ms" of the addresses so far; then starts afresh.
  std::string Summary() {
    std::sort(times_.begin(), times_.end());
    char text[64];
    std::snprintf(text, sizeof text, "median %.2f ms, slowest %.2f ms",
                  times_.empty() ? 0.0 : times_[times_.size() / 2], times_.empty() ? 0.0 : times_.back());
    times_.clear();
    return text;
  }

 private:
  Clock::time_point last_;
  std::vector<double> times_;
};

bool Check(const qlr::LinkResult<>& result, const char* what) {
  if (!result) {
    const qlr::LinkFailure& failure = result.Failure();
    std::fprintf(stderr, "link_check: %s failed (step: %s, errno %d)\n", what, failure.step.c_str(), failure.sysErrno);
  }
  return static_cast<bool>(result);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: link_check IMAGE REGION\n", stderr);
    return 2;
  }
  std::array<std::uint8_t, 128> expected{};
  std::ifstream file(argv[1], std::ios::binary);
  file.read(reinterpret_cast<char*>(expected.data()), expected.size());
  if (file.gcount() != static_cast<std::streamsize>(expected.size())) {
    std::fprintf(stderr, "link_check: %s is no 128-byte image\n", argv[1]);
    return 2;
  }
  const int region = std::atoi(argv[2]);

  qlr::CReceiverLink link;
  AddressTimes times;
  std::array<std::uint8_t, 128> image{};
  bool ok = true;
  const double find = Milliseconds([&] { ok = Check(link.FindReceiver(), "FindReceiver"); });
  if (!ok) return 1;
  std::printf("found on port %d (%s) in %.1f ms\n", link.PortNumber(), link.Device().c_str(), find);
  const int answered = link.QueryRegion().ValueOr(-1);
  if (answered != region) {
    std::fprintf(stderr, "link_check: region %d, expected %d\n", answered, region);
    return 1;
  }
  const double read = Milliseconds([&] { ok = Check(link.ReadEeprom(0, 128, image.data(), &times), "ReadEeprom"); });
  if (!ok) return 1;
  const std::string readTimes = times.Summary();
  if (image != expected) {
    std::fputs("link_check: the bytes read differ from the emulator's image\n", stderr);
    return 1;
  }
  const double write = Milliseconds([&] { ok = Check(link.WriteEeprom(0, 128, image.data(), &times), "WriteEeprom"); });
  if (!ok) return 1;
  const std::string writeTimes = times.Summary();
  const double close = Milliseconds([&] { link.ClosePort(); });

  const double idealRead = qlr::wire::IdealReadSeconds() * 1e3;
  const double idealWrite = qlr::wire::IdealWriteSeconds() * 1e3;
  std::printf("ReadEeprom  %7.1f ms   ideal %7.1f ms   ratio %.3f   per address: %s\n", read, idealRead,
              read / idealRead, readTimes.c_str());
  std::printf("WriteEeprom %7.1f ms   ideal %7.1f ms   ratio %.3f   per address: %s\n", write, idealWrite,
              write / idealWrite, writeTimes.c_str());
  std::printf("ClosePort   %7.1f ms (wakes and joins the reader)\n", close);
  return 0;
}
