// The kernel's rules for FireWire device files that libdc1394 never tests:
// checks on ioctl arguments, event layouts and truncation, handles, the one
// mapping a file gets, header overflow by ABI version, joining a stream in
// the middle of a frame, and files across fork.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/firewire-cdev.h>
#include <linux/firewire-constants.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

// The fork test's child starts a bus thread of its own, which
// ThreadSanitizer allows only when asked to.
extern "C" const char* __tsan_default_options() { return "die_after_fork=0"; }

namespace {

constexpr std::uint64_t COMMAND_BASE = 0xFFFFF0F00000ull;
constexpr std::uint64_t BANDWIDTH_AVAILABLE = 0xFFFFF0000220ull;
constexpr std::uint32_t ISO_CHANNEL = 0x60C, ISO_EN = 0x614, CUR_V_MODE = 0x604;

std::uint64_t Ptr(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// One open device file with what the tests ask of it.
class File {
 public:
  explicit File(const char* pszPath, std::uint32_t nVersion = 5) : m_fd(open(pszPath, O_RDWR)) {
    if (m_fd < 0) return;
    fw_cdev_get_info info{};
    info.version = nVersion;
    info.bus_reset = Ptr(&m_reset);
    info.rom = Ptr(m_rom.data());
    info.rom_length = static_cast<std::uint32_t>(m_rom.size() * 4);
    m_nInfo = ioctl(m_fd, FW_CDEV_IOC_GET_INFO, &info);
    m_cbRom = info.rom_length;
  }
  ~File() {
    if (m_fd >= 0) close(m_fd);
  }
  int Fd() const { return m_fd; }

  bool Readable(int nMilliseconds = 0) const {
    pollfd p{m_fd, POLLIN, 0};
    return poll(&p, 1, nMilliseconds) == 1;
  }
  // The next event, whole (or as much as cb asks for).
  std::vector<std::uint8_t> Event(std::size_t cb = 65536) const {
    std::vector<std::uint8_t> event(cb);
    const ssize_t n = read(m_fd, event.data(), cb);
    event.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return event;
  }
  // A request; the response event.
  std::vector<std::uint8_t> Request(std::uint32_t nTcode, std::uint64_t qwAddress, std::vector<std::uint32_t> data,
                                    std::uint32_t cb = 4) {
    fw_cdev_send_request request{};
    request.tcode = nTcode;
    request.length = cb;
    request.offset = qwAddress;
    request.closure = 0x1234;
    request.data = Ptr(data.data());
    request.generation = m_reset.generation;
    return ioctl(m_fd, FW_CDEV_IOC_SEND_REQUEST, &request) == 0 ? Event() : std::vector<std::uint8_t>{};
  }
  void Write(std::uint32_t nOffset, std::uint32_t dwValue) {
    Request(TCODE_WRITE_QUADLET_REQUEST, COMMAND_BASE + nOffset, {htobe32(dwValue)});
  }

  int m_fd, m_nInfo = -1;
  std::uint32_t m_cbRom = 0;
  fw_cdev_event_bus_reset m_reset{};
  std::vector<std::uint32_t> m_rom = std::vector<std::uint32_t>(256);
};

template <class T>
T As(const std::vector<std::uint8_t>& event) {
  T t{};
  std::memcpy(&t, event.data(), std::min(sizeof t, event.size()));
  return t;
}

std::size_t OpenDescriptors() {
  std::size_t n = 0;
  if (DIR* pDir = opendir("/proc/self/fd")) {
    while (readdir(pDir)) ++n;
    closedir(pDir);
  }
  return n;
}

TEST(DeviceFileTest, InfoGivesTheRomAndTheResetRecordOfItsUnpaddedSizeAndResetsToWhoAsked) {
  const std::size_t nDescriptors = OpenDescriptors();
  for (int i = 0; i < 10; ++i) {
    const File opened("/dev/fw1");
  }
  EXPECT_EQ(OpenDescriptors(), nDescriptors) << "a closed file leaves nothing open";
  File camera("/dev/fw1");
  ASSERT_EQ(camera.m_nInfo, 0);
  EXPECT_EQ(camera.m_rom[1], 0x31333934u);  // "1394", host order
  EXPECT_EQ(camera.m_cbRom % 4, 0u);
  EXPECT_EQ(camera.m_reset.node_id, 0xFFC0u);
  EXPECT_EQ(camera.m_reset.root_node_id, camera.m_reset.local_node_id);

  fw_cdev_event_bus_reset reset;
  std::memset(&reset, 0xAB, sizeof reset);
  fw_cdev_get_info info{};
  info.bus_reset = Ptr(&reset);
  ASSERT_EQ(ioctl(camera.Fd(), FW_CDEV_IOC_GET_INFO, &info), 0);
  EXPECT_EQ(reinterpret_cast<std::uint8_t*>(&reset)[36], 0xAB);
  info.rom = 8;  // an address nobody can write
  info.rom_length = 4;
  EXPECT_EQ(ioctl(camera.Fd(), FW_CDEV_IOC_GET_INFO, &info), -1);
  EXPECT_EQ(errno, EFAULT);
  EXPECT_EQ(ioctl(camera.Fd(), _IO('#', 0x40)), -1);
  EXPECT_EQ(errno, ENOTTY);
  EXPECT_EQ(ioctl(camera.Fd(), _IO('$', 0x00)), -1);
  EXPECT_EQ(errno, ENOTTY);

  // Bus resets reach only the files that asked for the reset record.
  File listening("/dev/fw2");
  const int fdQuiet = open("/dev/fw2", O_RDWR);
  ASSERT_GE(fdQuiet, 0);
  fw_cdev_initiate_bus_reset initiate{FW_CDEV_SHORT_RESET};
  ASSERT_EQ(ioctl(fdQuiet, FW_CDEV_IOC_INITIATE_BUS_RESET, &initiate), 0);
  const auto event = As<fw_cdev_event_bus_reset>(listening.Event());
  EXPECT_EQ(event.type, FW_CDEV_EVENT_BUS_RESET);
  EXPECT_EQ(event.generation, listening.m_reset.generation + 1);
  pollfd p{fdQuiet, POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 20), 0);
  close(fdQuiet);
}

// Responses have the kernel's layout: the data from the record's last field,
// a quadlet once more after it; writes answer with no data; errors by rcode.
TEST(DeviceFileTest, RequestsAnswerWithTheKernelsResponseEvents) {
  File camera("/dev/fw1");
  ASSERT_EQ(camera.m_nInfo, 0);
  const std::size_t cbRecord = sizeof(fw_cdev_event_response), nData = offsetof(fw_cdev_event_response, data);
  struct Case {
    std::uint32_t nTcode;
    std::uint64_t qwAddress;
    std::uint32_t cb;
    std::uint32_t nRcode;
    std::size_t cbEvent;
  };
  const Case cases[] = {
      {TCODE_READ_QUADLET_REQUEST, COMMAND_BASE + CUR_V_MODE, 4, RCODE_COMPLETE, cbRecord + 4},
      {TCODE_READ_BLOCK_REQUEST, 0xFFFFF0000400ull, 20, RCODE_COMPLETE, cbRecord + 20},
      {TCODE_WRITE_QUADLET_REQUEST, COMMAND_BASE + ISO_CHANNEL, 4, RCODE_COMPLETE, cbRecord},
      {TCODE_READ_QUADLET_REQUEST, COMMAND_BASE + 0x3F0, 4, RCODE_ADDRESS_ERROR, cbRecord},
      {TCODE_READ_QUADLET_REQUEST, 0x1000, 4, RCODE_ADDRESS_ERROR, cbRecord},
      {TCODE_LOCK_COMPARE_SWAP, COMMAND_BASE + ISO_EN, 8, RCODE_TYPE_ERROR, cbRecord},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "tcode " << c.nTcode << " at 0x" << std::hex << c.qwAddress);
    const std::vector<std::uint8_t> event = camera.Request(c.nTcode, c.qwAddress, {0, 0, 0, 0, 0}, c.cb);
    const auto rsp = As<fw_cdev_event_response>(event);
    EXPECT_EQ(rsp.type, FW_CDEV_EVENT_RESPONSE);
    EXPECT_EQ(rsp.closure, 0x1234u);
    EXPECT_EQ(rsp.rcode, c.nRcode);
    EXPECT_EQ(event.size(), c.cbEvent);
    if (c.cbEvent > cbRecord) {
      EXPECT_EQ(rsp.length, c.cb);
    }
  }
  const std::vector<std::uint8_t> rom = camera.Request(TCODE_READ_BLOCK_REQUEST, 0xFFFFF0000400ull, {}, 8);
  EXPECT_EQ(be32toh(*reinterpret_cast<const std::uint32_t*>(&rom[nData + 4])), 0x31333934u);

  // A request of a past generation, a tcode no request has, too long a block.
  fw_cdev_send_request request{};
  request.tcode = TCODE_READ_QUADLET_REQUEST;
  request.length = 4;
  request.offset = COMMAND_BASE + CUR_V_MODE;
  request.generation = camera.m_reset.generation - 1;
  ASSERT_EQ(ioctl(camera.Fd(), FW_CDEV_IOC_SEND_REQUEST, &request), 0);
  EXPECT_EQ(As<fw_cdev_event_response>(camera.Event()).rcode, RCODE_GENERATION);
  request.tcode = TCODE_STREAM_DATA;
  EXPECT_EQ(ioctl(camera.Fd(), FW_CDEV_IOC_SEND_REQUEST, &request), -1);
  EXPECT_EQ(errno, EINVAL);
  request.tcode = TCODE_READ_BLOCK_REQUEST;
  request.length = 4096;
  EXPECT_EQ(ioctl(camera.Fd(), FW_CDEV_IOC_SEND_REQUEST, &request), -1);
  EXPECT_EQ(errno, EIO);

  // A read shorter than the event takes that much of it; the rest is gone.
  request.length = 4;
  request.generation = camera.m_reset.generation;
  request.tcode = TCODE_READ_QUADLET_REQUEST;
  ASSERT_EQ(ioctl(camera.Fd(), FW_CDEV_IOC_SEND_REQUEST, &request), 0);
  ASSERT_EQ(ioctl(camera.Fd(), FW_CDEV_IOC_SEND_REQUEST, &request), 0);
  EXPECT_EQ(camera.Event(10).size(), 10u);
  EXPECT_EQ(camera.Event().size(), cbRecord + 4);
  EXPECT_FALSE(camera.Readable());
}

// Iso resources take the lowest free handle; deallocation reads only the
// bytes its command declares; closing the file gives everything back.
TEST(DeviceFileTest, IsoResourcesAreHandledAsTheKernelDoes) {
  File card("/dev/fw0");
  auto available = [&](std::uint64_t qwCsr = BANDWIDTH_AVAILABLE) {
    return be32toh(*reinterpret_cast<const std::uint32_t*>(
        &card.Request(TCODE_READ_QUADLET_REQUEST, qwCsr, {})[offsetof(fw_cdev_event_response, data)]));
  };
  const std::uint32_t nInitial = available();
  {
    File camera("/dev/fw1");
    auto allocate = [&](std::uint64_t channels, std::uint32_t nBandwidth) {
      fw_cdev_allocate_iso_resource request{};
      request.closure = 77;
      request.channels = channels;
      request.bandwidth = nBandwidth;
      EXPECT_EQ(ioctl(camera.Fd(), FW_CDEV_IOC_ALLOCATE_ISO_RESOURCE, &request), 0);
      return As<fw_cdev_event_iso_resource>(camera.Event());
    };
    const auto a = allocate(0xFFFF, 100), b = allocate(0xFFFF, 200);
    EXPECT_EQ(a.type, FW_CDEV_EVENT_ISO_RESOURCE_ALLOCATED);
    EXPECT_EQ(a.closure, 77u);
    EXPECT_EQ(a.handle, 0);
    EXPECT_EQ(b.handle, 1);
    EXPECT_EQ(a.channel, 0);
    EXPECT_EQ(b.channel, 1);
    EXPECT_EQ(available(), nInitial - 300);
    // libdc1394 passes the allocation record: its first four bytes (of the
    // closure, 0) are the handle.
    fw_cdev_allocate_iso_resource larger{};
    larger.handle = 1;
    ASSERT_EQ(ioctl(camera.Fd(), FW_CDEV_IOC_DEALLOCATE_ISO_RESOURCE, &larger), 0);
    const auto freed = As<fw_cdev_event_iso_resource>(camera.Event());
    EXPECT_EQ(freed.type, FW_CDEV_EVENT_ISO_RESOURCE_DEALLOCATED);
    EXPECT_EQ(freed.handle, 0);
    EXPECT_EQ(freed.bandwidth, 100);
    EXPECT_EQ(allocate(0, 300).handle, 0);
    EXPECT_EQ(ioctl(camera.Fd(), FW_CDEV_IOC_DEALLOCATE_ISO_RESOURCE, &larger), 0);
    camera.Event();
    EXPECT_EQ(ioctl(camera.Fd(), FW_CDEV_IOC_DEALLOCATE_ISO_RESOURCE, &larger), -1);
    EXPECT_EQ(errno, EINVAL);
    const auto refused = allocate(1, nInitial);  // channel 0 is free, the bandwidth is not
    EXPECT_EQ(refused.bandwidth, 0);
    EXPECT_LT(refused.channel, 0);
    EXPECT_EQ(allocate(1, 0).channel, 0) << "the channel goes back with the bandwidth refused";
    larger.bandwidth = 4916;
    EXPECT_EQ(ioctl(camera.Fd(), FW_CDEV_IOC_ALLOCATE_ISO_RESOURCE, &larger), -1);
    EXPECT_EQ(errno, EINVAL);
  }
  EXPECT_EQ(available(), nInitial);
  EXPECT_EQ(available(BANDWIDTH_AVAILABLE + 4), 0xFFFFFFFFu) << "every channel free again";
}

// Address ranges a client handles: the first free space of the region asked
// for, within the 48-bit address space, quadlet-aligned.
TEST(DeviceFileTest, AddressRangesTakeTheFirstFreeSpace) {
  File card("/dev/fw0", 4);
  struct Case {
    std::uint64_t qwOffset, qwEnd;
    std::uint32_t cbLength;
    int nErrno;                   // 0: allocated
    std::uint64_t qwAllocated;
  };
  const Case cases[] = {
      {0x100000000ull, 0x100000100ull, 0x80, 0, 0x100000000ull},
      {0x100000000ull, 0x100000100ull, 0x80, 0, 0x100000080ull},
      {0x100000000ull, 0x100000100ull, 0x80, EBUSY, 0},
      {0xFFFFFFFFF000ull, 0x1000000000000ull, 0x1000, 0, 0xFFFFFFFFF000ull},
      {0xFFFFFFFFF000ull, 0x1000000001000ull, 0x1000, EINVAL, 0},
      {0x100000002ull, 0x100000100ull, 4, EINVAL, 0},
      {0x100000200ull, 0x100000300ull, 6, EINVAL, 0},
      {0x100000200ull, 0x100000300ull, 0, EINVAL, 0},
  };
  for (const Case& c : cases) {
    fw_cdev_allocate allocate{};
    allocate.offset = c.qwOffset;
    allocate.region_end = c.qwEnd;
    allocate.length = c.cbLength;
    EXPECT_EQ(ioctl(card.Fd(), FW_CDEV_IOC_ALLOCATE, &allocate), c.nErrno ? -1 : 0) << std::hex << c.qwOffset;
    if (c.nErrno) {
      EXPECT_EQ(errno, c.nErrno);
    } else {
      EXPECT_EQ(allocate.offset, c.qwAllocated);
    }
  }
  fw_cdev_deallocate deallocate{0};
  EXPECT_EQ(ioctl(card.Fd(), FW_CDEV_IOC_DEALLOCATE, &deallocate), 0);
  EXPECT_EQ(ioctl(card.Fd(), FW_CDEV_IOC_DEALLOCATE, &deallocate), -1);
}

// What a card's receive contexts accept: header sizes of whole quadlets from
// one on, channels below 64, one context a file and a channel, four a card;
// starts with tags and sync that exist.
TEST(DeviceFileTest, ReceiveContextsAndStartsAreChecked) {
  struct Case {
    std::uint32_t nType, cbHeader, nChannel;
    int nErrno;  // 0: created
  };
  const Case cases[] = {
      {FW_CDEV_ISO_CONTEXT_RECEIVE, 0, 1, EINVAL}, {FW_CDEV_ISO_CONTEXT_RECEIVE, 6, 1, EINVAL},
      {FW_CDEV_ISO_CONTEXT_RECEIVE, 4, 64, EINVAL}, {FW_CDEV_ISO_CONTEXT_TRANSMIT, 0, 1, EBUSY},
      {FW_CDEV_ISO_CONTEXT_RECEIVE, 4, 1, 0},      {FW_CDEV_ISO_CONTEXT_RECEIVE, 8, 1, EBUSY},
      {FW_CDEV_ISO_CONTEXT_RECEIVE, 8, 2, 0},      {FW_CDEV_ISO_CONTEXT_RECEIVE, 12, 3, 0},
      {FW_CDEV_ISO_CONTEXT_RECEIVE, 8, 4, 0},      {FW_CDEV_ISO_CONTEXT_RECEIVE, 8, 5, EBUSY},
  };
  std::vector<std::unique_ptr<File>> files;
  for (const Case& c : cases) {
    files.push_back(std::make_unique<File>("/dev/fw1"));
    fw_cdev_create_iso_context create{};
    create.type = c.nType;
    create.header_size = c.cbHeader;
    create.channel = c.nChannel;
    const int nResult = ioctl(files.back()->Fd(), FW_CDEV_IOC_CREATE_ISO_CONTEXT, &create);
    EXPECT_EQ(nResult == 0 ? 0 : errno, c.nErrno) << "header " << c.cbHeader << ", channel " << c.nChannel;
  }
  struct Start {
    std::uint32_t nTags, nSync;
    int nResult;
  };
  for (const Start& start : {Start{1, 15, 0}, Start{15, 0, 0}, Start{0, 1, -1}, Start{16, 1, -1}, Start{1, 16, -1}}) {
    fw_cdev_start_iso request{};
    request.cycle = -1;
    request.tags = start.nTags;
    request.sync = start.nSync;
    EXPECT_EQ(ioctl(files[4]->Fd(), FW_CDEV_IOC_START_ISO, &request), start.nResult)
        << "tags " << start.nTags << ", sync " << start.nSync;
  }
}

// A receive context: its checks, the one mapping, packets that wait for a
// frame's start, and the headers a page holds between interrupts, which
// clients before ABI 5 lose and later ones get in an extra event.
class IsoTest : public ::testing::TestWithParam<std::uint32_t> {
 protected:
  static constexpr std::uint32_t PACKET = 2560;  // 640 x 480 YUV422 at 30 frames per second
  static constexpr std::uint32_t PACKETS = 600;
  void SetUp() override {
    ASSERT_EQ(m_camera.m_nInfo, 0);
    m_camera.Write(ISO_CHANNEL, 5u << 28 | 2u << 24);
    fw_cdev_create_iso_context create{};
    create.type = FW_CDEV_ISO_CONTEXT_RECEIVE;
    create.header_size = 8;
    create.channel = 5;
    ASSERT_EQ(ioctl(m_camera.Fd(), FW_CDEV_IOC_CREATE_ISO_CONTEXT, &create), 0);
    EXPECT_EQ(ioctl(m_camera.Fd(), FW_CDEV_IOC_CREATE_ISO_CONTEXT, &create), -1);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(mmap(nullptr, m_cb, PROT_READ, MAP_PRIVATE, m_camera.Fd(), 0), MAP_FAILED);
    m_pBuffer = static_cast<std::uint8_t*>(mmap(nullptr, m_cb, PROT_READ | PROT_WRITE, MAP_SHARED, m_camera.Fd(), 0));
    ASSERT_NE(m_pBuffer, MAP_FAILED);
    EXPECT_EQ(mmap(nullptr, m_cb, PROT_READ, MAP_SHARED, m_camera.Fd(), 0), MAP_FAILED);
    EXPECT_EQ(errno, EBUSY);
  }
  void TearDown() override {
    if (m_pBuffer && m_pBuffer != MAP_FAILED) munmap(m_pBuffer, m_cb);
  }
  int Queue(std::vector<std::uint32_t> controls, std::uint64_t qwData) {
    fw_cdev_queue_iso queue{};
    queue.packets = Ptr(controls.data());
    queue.size = static_cast<std::uint32_t>(controls.size() * 4);
    queue.data = qwData;
    return ioctl(m_camera.Fd(), FW_CDEV_IOC_QUEUE_ISO, &queue);
  }
  void StartCamera() {
    fw_cdev_start_iso start{};
    start.cycle = -1;
    start.sync = 1;
    start.tags = FW_CDEV_ISO_CONTEXT_MATCH_ALL_TAGS;
    ASSERT_EQ(ioctl(m_camera.Fd(), FW_CDEV_IOC_START_ISO, &start), 0);
    m_camera.Write(ISO_EN, 0x80000000u);
  }

  File m_camera{"/dev/fw1", GetParam()};
  const std::size_t m_cb = PACKETS * PACKET;
  std::uint8_t* m_pBuffer = nullptr;
};

TEST_P(IsoTest, QueueChecksLengthsAndBufferBounds) {
  const std::uint64_t data = Ptr(m_pBuffer);
  const std::uint32_t one = FW_CDEV_ISO_HEADER_LENGTH(8) | FW_CDEV_ISO_PAYLOAD_LENGTH(PACKET);
  EXPECT_EQ(Queue({FW_CDEV_ISO_PAYLOAD_LENGTH(PACKET)}, data), -1);                // no header
  EXPECT_EQ(Queue({FW_CDEV_ISO_HEADER_LENGTH(12) | FW_CDEV_ISO_PAYLOAD_LENGTH(4)}, data), -1);  // not whole headers
  EXPECT_EQ(Queue({one}, data + m_cb - PACKET / 2), -1);                           // beyond the mapping
  EXPECT_EQ(Queue({one}, data + m_cb + 4096), -1);                                 // outside it
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(Queue({FW_CDEV_ISO_HEADER_LENGTH(8)}, 0), 1);  // no payload needs no buffer
  fw_cdev_queue_iso queue{};
  std::vector<std::uint32_t> controls = {one, one, one};
  queue.packets = Ptr(controls.data());
  queue.size = 12;
  queue.data = data;
  EXPECT_EQ(ioctl(m_camera.Fd(), FW_CDEV_IOC_QUEUE_ISO, &queue), 3);
  EXPECT_EQ(queue.size, 0u);
  EXPECT_EQ(queue.packets, Ptr(controls.data()) + 12);
  EXPECT_EQ(queue.data, data + 3 * PACKET);
}

// Joined while the camera is half-way through a frame, a buffer whose first
// packet waits for sync begins with the next frame. 600 packets (two frames
// and a half) bring more headers than the card keeps between interrupts:
// clients before ABI 5 lose the rest, later ones get them in a second event.
TEST_P(IsoTest, AStreamJoinedMidFrameWaitsForTheNextFrameStart) {
  StartCamera();
  usleep(12000);  // well into a frame of 30 ms
  std::vector<std::uint32_t> controls(PACKETS, FW_CDEV_ISO_HEADER_LENGTH(8) | FW_CDEV_ISO_PAYLOAD_LENGTH(PACKET));
  controls.front() |= FW_CDEV_ISO_SKIP;
  controls.back() |= FW_CDEV_ISO_INTERRUPT;
  ASSERT_EQ(Queue(controls, Ptr(m_pBuffer)), static_cast<int>(PACKETS));

  const std::size_t nHeaders = offsetof(fw_cdev_event_iso_interrupt, header);
  ASSERT_TRUE(m_camera.Readable(1000));
  const std::vector<std::uint8_t> first = m_camera.Event();
  const auto interrupt = As<fw_cdev_event_iso_interrupt>(first);
  ASSERT_EQ(interrupt.type, FW_CDEV_EVENT_ISO_INTERRUPT);
  EXPECT_EQ(interrupt.header_length, 4096u);
  const std::uint32_t dwHeader = be32toh(*reinterpret_cast<const std::uint32_t*>(&first[nHeaders]));
  // Frames come whole, 240 packets each, the first of each with sy = 1.
  for (std::size_t i = 0; i < interrupt.header_length / 8; ++i) {
    const std::uint32_t dw = be32toh(*reinterpret_cast<const std::uint32_t*>(&first[nHeaders + 8 * i]));
    ASSERT_EQ(dw & 0xF, i % 240 == 0 ? 1u : 0u) << "sy of packet " << i;
  }
  EXPECT_EQ(dwHeader >> 16, PACKET);
  EXPECT_EQ(dwHeader >> 8 & 0x3F, 5u) << "channel";
  EXPECT_EQ(dwHeader >> 4 & 0xF, 0xAu) << "tcode";
  if (GetParam() >= 5) {
    ASSERT_TRUE(m_camera.Readable(1000));
    EXPECT_EQ(As<fw_cdev_event_iso_interrupt>(m_camera.Event()).header_length, PACKETS * 8 - 4096);
  }
  EXPECT_FALSE(m_camera.Readable(100));
}

INSTANTIATE_TEST_SUITE_P(AbiVersions, IsoTest, ::testing::Values(3u, 5u));

// A forked child cannot use the files it inherited; its own work.
TEST(DeviceFileTest, FilesAcrossFork) {
  File camera("/dev/fw1");
  ASSERT_EQ(camera.m_nInfo, 0);
  const pid_t child = fork();
  if (child == 0) {
    fw_cdev_get_cycle_timer timer{};
    const bool bInherited = ioctl(camera.Fd(), FW_CDEV_IOC_GET_CYCLE_TIMER, &timer) == -1 && errno == ENODEV;
    File own("/dev/fw1");
    _exit(bInherited && own.m_nInfo == 0 ? 0 : 1);
  }
  int nStatus = -1;
  ASSERT_EQ(waitpid(child, &nStatus, 0), child);
  EXPECT_EQ(nStatus, 0);
  fw_cdev_get_cycle_timer2 timer{};
  timer.clk_id = CLOCK_MONOTONIC;
  EXPECT_EQ(ioctl(camera.Fd(), FW_CDEV_IOC_GET_CYCLE_TIMER2, &timer), 0);
  timer.clk_id = 99;
  EXPECT_EQ(ioctl(camera.Fd(), FW_CDEV_IOC_GET_CYCLE_TIMER2, &timer), -1);
  EXPECT_EQ(errno, EINVAL);
}

}  // namespace
