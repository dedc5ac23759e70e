#include "slots/VoiceSlots.h"

#include "hardware/mcc_alloc_params.h"
#include "platform/BoardPath.h"
#include "platform/ByteOrder.h"
#include "runtime/log/Ext.h"
#include "slots/PathCheck.h"
#include "slots/VoiceFactory.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <utility>

namespace {

constexpr unsigned kConnectTimeoutMs = 5000;
constexpr unsigned kPhraseBufferSize = 8192;
constexpr char kVoiceFolder[] = "/usr/local/voice/";

// Players wait for the channel to take the last bytes before they call a copy done.
ASync::Copy::EventsParams PlayEvents() {
  return ASync::Copy::EventsParams{POLLIN, POLLOUT, POLLWRNORM};
}

// A phrase is a regular file: a folder (".", "ru/") opens but fails its first
// read, which would end the whole list instead of skipping the name.
Fd OpenPhrase(const std::string& name) {
  Fd file(open(platform::BoardPath(kVoiceFolder + name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat status {};
  if (!file || fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return Fd();
  }
  return file;
}

LGCP::IoctlResponse StartPlaying() {
  LGCP::IoctlResponse response;
  response.select_startPlaying();
  return response;
}

}  // namespace

PlaySlotGeneric::PlaySlotGeneric(Fd channel_fd)
    : channel_(Mcc::Timeslot(channel_fd.get())), channel_fd_(std::move(channel_fd)) {}

bool PlaySlotGeneric::IBeforeDestroy() {
  VoiceFactory::instance().OnDestroy(this);
  return true;
}

void PlaySlotGeneric::PutHeader(std::ostream& os) const {
  os << GetName() << "[" << channel_ << "]: ";
}

PlaySlotNetwork::PlaySlotNetwork(Fd channel_fd, std::string host, int id)
    : PlaySlotGeneric(std::move(channel_fd)), host_(std::move(host)), id_(id) {}

bool PlaySlotNetwork::IOnOutputStream() {
  if (state_ == kIdle) {
    state_ = kConnecting;
    connect_ = std::make_unique<ASync::Connect>();
    connect_->Bind(this, &PlaySlotNetwork::OnConnect);
    connect_->Start(host_, kConnectTimeoutMs);
  }
  // A host text that does not parse fails inside Start, and the abort has gone out.
  if (state_ == kReleased) {
    return false;
  }
  OnChangeOutputStream(true);
  return channel_ >= 0;
}

void PlaySlotNetwork::OnConnect(ASync::Connect::Status::Type status, Fd socket) {
  if (status != ASync::Connect::Status::kConnected) {
    std::clog << ext::header(this) << "connection to " << host_ << " fail." << std::endl;
    Release();
    return;
  }
  std::clog << ext::header(this) << "connected to " << host_ << "." << std::endl;
  OnIoctlResponse(StartPlaying());
  state_ = kPlaying;
  connect_.reset();
  copy_ = std::make_unique<ASync::Copy>();
  copy_->set_events(PlayEvents());
  copy_->Bind(this, &PlaySlotNetwork::OnPlayComplete);
  uint8_t id[4];
  platform::StoreBe32(id, static_cast<uint32_t>(id_));
  // The host learns what to serve from the id; a lost id shows as a stream that ends.
  static_cast<void>(write(socket.get(), id, sizeof id));
  copy_->Start(socket, channel_fd_);
}

void PlaySlotNetwork::OnPlayComplete(ASync::Copy::Status::Type status) {
  if (status == ASync::Copy::Status::kDone) {
    std::clog << ext::header(this) << "connection to " << host_ << " closed." << std::endl;
  } else {
    std::cerr << ext::header(this) << "play failed" << std::endl;
  }
  Release();
}

void PlaySlotNetwork::Release() {
  state_ = kReleased;
  OnChangeOutputStream(false);
  copy_.reset();
  connect_.reset();
  OnAbort(0);
}

PlaySlotFile::PlaySlotFile(Fd channel_fd, std::vector<std::string> names, uint32_t repeat)
    : PlaySlotGeneric(std::move(channel_fd)), repeat_(repeat), names_(std::move(names)) {
  abort_.Bind(this, &PlaySlotFile::delayed_abort);
}

bool PlaySlotFile::IOnOutputStream() {
  if (!started_) {
    if (!restart()) {
      abort_.Activate();
      return false;
    }
    started_ = true;
  }
  OnChangeOutputStream(true);
  return channel_ >= 0;
}

bool PlaySlotFile::restart() {
  next_ = 0;
  return next_phrase();
}

bool PlaySlotFile::next_phrase() {
  while (next_ < names_.size()) {
    const std::string& name = names_[next_++];
    file_.close();
    // A name from the controller, which may name a sub-folder's file; put
    // after the folder's path, a leading "/" stays inside, a ".." would not.
    if (HasParentComponent(name)) {
      continue;
    }
    file_ = OpenPhrase(name);
    if (!file_) {
      continue;
    }
    lseek(file_.get(), 0, SEEK_SET);
    copy_ = std::make_unique<ASync::Copy>();
    copy_->set_bufsize(kPhraseBufferSize);
    copy_->set_events(PlayEvents());
    copy_->Bind(this, &PlaySlotFile::OnPlayComplete);
    copy_->Start(file_, channel_fd_);
    return true;
  }
  return false;
}

void PlaySlotFile::OnPlayComplete(ASync::Copy::Status::Type status) {
  if (status != ASync::Copy::Status::kDone) {
    Release();
    return;
  }
  if (next_phrase()) {
    return;
  }
  if (repeat_ != 0 && --repeat_ == 0) {
    Release();
    return;
  }
  if (!restart()) {
    OnAbort(0);
  }
}

void PlaySlotFile::Release() {
  OnChangeOutputStream(false);
  copy_.reset();
  OnAbort(0);
}

void PlaySlotFile::delayed_abort() {
  abort_.Deactivate();
  OnAbort(0);
}

RecordSlot::RecordSlot(std::string host, int channel, Fd channel_fd)
    : channel_(channel), channel_fd_(std::move(channel_fd)), host_(std::move(host)) {}

void RecordSlot::PutHeader(std::ostream& os) const {
  os << GetName() << "[" << channel_ << "]: ";
}

bool RecordSlot::IBeforeDestroy() {
  VoiceFactory::instance().OnDestroy(this);
  return true;
}

void RecordSlot::IAfterCreate() {
  OnChangeInputStream(true);
}

bool RecordSlot::IOnInputStream() {
  connect_ = std::make_unique<ASync::Connect>();
  connect_->Bind(this, &RecordSlot::OnConnect);
  connect_->Start(host_, kConnectTimeoutMs);
  return true;
}

void RecordSlot::OnConnect(ASync::Connect::Status::Type status, Fd socket) {
  if (status != ASync::Connect::Status::kConnected) {
    std::clog << ext::header(this) << "connection to " << host_ << " fail." << std::endl;
    StopRecording(LGCP::StopRecordingCause::connectionFail);
    return;
  }
  std::clog << ext::header(this) << "connected to " << host_ << "." << std::endl;
  connect_.reset();
  copy_ = std::make_unique<ASync::Copy>();
  copy_->set_events(ASync::Copy::EventsParams{POLLIN, POLLOUT, 0});
  copy_->Bind(this, &RecordSlot::OnRecordComplete);
  copy_->Start(channel_fd_, socket);
}

void RecordSlot::OnRecordComplete(ASync::Copy::Status::Type status) {
  if (status == ASync::Copy::Status::kDone) {
    std::clog << ext::header(this) << "connection to " << host_ << " closed." << std::endl;
    StopRecording(LGCP::StopRecordingCause::userRequest);
    return;
  }
  std::cerr << ext::header(this) << "record aborted" << std::endl;
  StopRecording(LGCP::StopRecordingCause::connectionAborted);
}

void RecordSlot::StopRecording(LGCP::StopRecordingCause::NamedNumber cause) {
  copy_.reset();
  connect_.reset();
  LGCP::IoctlResponse response;
  response.select_stopRecording().setValue(cause);
  OnIoctlResponse(response);
}
