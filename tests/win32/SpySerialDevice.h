// Wraps a link's real Win32 serial device for the tests: may overstate the count of waiting
// bytes, counts reads, and takes the handle's timeouts just before release. The record outlives
// the device; its counters are atomic as the link's worker updates them.
#pragma once

#include "SerialDevice.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::win32test {

struct TSpyRecord {
    std::uint32_t Overstatement = 0; // added to a non-zero count of waiting bytes
    std::atomic<std::uint32_t> BytesRead{0};
    std::atomic<std::uint32_t> ShortReads{0}; // reads that brought fewer bytes than asked for
    std::optional<TCommState> FirstSetState;  // what the open asked the driver for
    std::optional<TCommTimeouts> TimeoutsAtClose;
    std::atomic<int> Closes{0};
    std::atomic<int> FailQueries{0}; // the next this many queue queries fail
    std::atomic<int> Opens{0};       // devices wrapped so far (reopens included)
    std::mutex Lock;                 // guards Names
    std::vector<std::string> Names;  // every open asked for, on whatever thread
};

class TSpySerialDevice : public ISerialDevice {
  public:
    TSpySerialDevice(std::unique_ptr<ISerialDevice> real, TSpyRecord& record)
        : Real(std::move(real)), Record(record) {
        ++Record.Opens;
    }

    bool GetState(TCommState& state) override { return Real->GetState(state); }
    bool SetState(const TCommState& state) override;
    bool GetTimeouts(TCommTimeouts& timeouts) override { return Real->GetTimeouts(timeouts); }
    bool SetTimeouts(const TCommTimeouts& timeouts) override { return Real->SetTimeouts(timeouts); }
    bool SetupQueues(std::uint32_t inBytes, std::uint32_t outBytes) override {
        return Real->SetupQueues(inBytes, outBytes);
    }
    bool BytesWaiting(std::uint32_t& count) override;
    bool Read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) override;
    bool Write(const std::uint8_t* bytes, std::uint32_t count) override {
        return Real->Write(bytes, count);
    }
    bool Close() override;
    // The link's own polling wait, through this spy's queue query.
    TWaitResult Wait(TWakeEvent& wake) override { return WaitByPollingQueue(*this, wake, 1); }

  private:
    std::unique_ptr<ISerialDevice> Real;
    TSpyRecord& Record;
};

} // namespace quorvel::win32test
