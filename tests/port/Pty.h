// Pseudo-terminal pairs for port tests: the test plays the far end on the master side and may keep
// a descriptor of the slave to look at its line settings. Linux only.
#pragma once

#include "ByteString.h"

#include <chrono>
#include <string>

namespace quorvel::test {

class TPty {
  public:
    TPty();
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    const std::string& SlavePath() const { return Path; }
    // A descriptor of the slave the test holds (opened before the port under test).
    int SlaveFd() const { return Slave; }
    bool Write(const ByteString& bytes);
    // Writes what fits now, without waiting (for streams nobody may be reading).
    void Offer(const ByteString& bytes);
    // Reads until count bytes arrived or the timeout passed.
    ByteString Read(std::size_t count,
                    std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // The far end goes away: the port sees a hang-up.
    void CloseMaster();
    void CloseSlave();

  private:
    int Master = -1;
    int Slave = -1;
    std::string Path;
};

// A temporary folder removed with its contents at destruction.
class TTempFolder {
  public:
    TTempFolder();
    ~TTempFolder();
    const std::string& Path() const { return Folder; }
    std::string operator/(const std::string& name) const { return Folder + "/" + name; }

  private:
    std::string Folder;
};

// Points folder/name at target (replacing an earlier link); a folder it creates is made 0700.
void RegisterLink(const std::string& folder, const std::string& name, const std::string& target);

} // namespace quorvel::test
