// One open archive: its volume set, the header walk and entry processing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "unrar/Blocks.h"
#include "unrar/CryptKeys.h"
#include "unrar/Unpacker.h"
#include "unrar/unrar.h"

namespace unrar {

struct Callbacks {
  UNRARCALLBACK callback = nullptr;
  LPARAM userData = 0;
  CHANGEVOLPROC changeVolProc = nullptr;
  PROCESSDATAPROC processDataProc = nullptr;
};

class Archive {
 public:
  ~Archive();

  // Returns 0 or the open error (ERAR_EOPEN, ERAR_BAD_ARCHIVE, ERAR_BAD_DATA, ...).
  int open(const std::string& path, unsigned mode, unsigned opFlags);
  unsigned flags() const { return flags_; }
  bool hasComment() const { return hasComment_; }
  const std::string& comment() const { return comment_; }

  int readHeader();
  const FileHeader& entry() const { return entry_; }
  const std::string& volumePath() const { return volPath_; }
  int process(int operation, const char* destPath, const char* destName);

  void setPassword(const char* password);
  Callbacks callbacks;

 private:
  int openVolume(std::string& path, int& fd, uint64_t& size);
  int readMain(int fd, uint64_t size, uint64_t pos, Block& main, std::unique_ptr<HeaderCrypt>& crypt);
  int headerCrypt5(const Block& encryption, std::unique_ptr<HeaderCrypt>& crypt);
  std::unique_ptr<HeaderCrypt> headerCrypt3();
  int readBlock(uint64_t offset, Block& b);
  int nextVolume();
  int switchVolume();
  int askVolume(std::string& name);
  int notifyVolume(const std::string& name);
  int continueEntry();
  int skipEntry();
  int readPacked(uint8_t* buf, size_t size, size_t& got);
  int readData(uint8_t* buf, size_t size, size_t& got);
  int needPassword();
  int startDecryption();
  bool checksumsMatch(uint32_t crc, const uint8_t* blake2) const;
  int readComment(uint64_t pos);
  int pump(const DataSink& sink, uint64_t& produced);
  int unpackData(const DataSink& sink, uint64_t limit);
  bool decodesWhenSkipped() const;
  int extract(int operation, const char* destPath, const char* destName);
  int emitData(const uint8_t* data, size_t size);

  bool rar5_ = false;
  unsigned mode_ = 0;
  unsigned opFlags_ = 0;
  unsigned flags_ = 0;
  bool hasComment_ = false;
  std::string comment_;
  CryptKeys keys_;
  unsigned encryptVersion_ = 0;               // RAR 3 main header: the encryption version named
  std::unique_ptr<HeaderCrypt> headerCrypt_;  // the current volume's, when headers are encrypted
  std::unique_ptr<DecryptingSource> crypt_;   // the entry being extracted, when it is encrypted
  std::unique_ptr<Rar5Key> macKey_;           // its checksums are HMACs with this key's hash key

  int fd_ = -1;
  std::string volPath_;
  uint64_t volSize_ = 0;
  uint64_t firstOffset_ = 0;  // where the archive starts in the first volume (after a prefix)
  uint64_t pos_ = 0;          // next header in the current volume
  size_t volIndex_ = 0;       // volumes opened since the first one
  uint64_t volNumber_ = 0;    // RAR 5 volume number of the current volume
  bool haveEndNumber_ = false;
  uint64_t endNumber_ = 0;  // RAR 4 end-block volume number last seen
  std::vector<std::string> volumes_;
  bool atEnd_ = false;
  int volumeError_ = 0;  // a volume change failed: the set ends there
  bool filesInVolume_ = false;

  bool haveEntry_ = false;
  bool entryDone_ = true;
  bool orphan_ = false;  // continues a volume before the one opened
  FileHeader entry_;
  bool partSplitAfter_ = false;
  uint64_t partPos_ = 0, partLeft_ = 0;

  std::unique_ptr<Unpacker> unpacker_;  // the compressed data's decoder
  int unpackerFamily_ = 0;
  bool streamIntact_ = false;  // the solid stream so far decoded without error
};

}  // namespace unrar
