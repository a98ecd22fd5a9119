// The Linux platform on a fake of its system calls: which path it takes and
// why, that every thread holds the I/O permission before it executes IN/OUT,
// and what the library's exports then do on each path.
#include "fake_linux_sys.h"
#include "morvanteportio.h"
#include "platform/linux.h"
#include "platform/platform.h"
#include "table_names.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace morvante::test {
namespace {

using fake::Sys;
using fake::SysCall;
using platform::linux_ports::PortAccess;
using platform::linux_ports::PortPath;

SysCall ioperm(std::uint32_t from, std::uint32_t count) { return {Sys::ioperm, from, count}; }
SysCall call(Sys what, std::uint32_t port = 0) {
    return {what, port, static_cast<std::uint32_t>(what == Sys::open || what == Sys::close ? 0 : 1)};
}

class LinuxPlatform : public ::testing::Test {
protected:
    void SetUp() override { fake::sys().reset(); }

    // Loads the platform afresh with the kernel answering as the test set it,
    // and clears the call log so the test sees what the accesses do.
    static void start_with(int ioperm_error, int open_result) {
        fake::sys().ioperm_error = ENOSYS;
        platform::backend.start();  // closes the /dev/port of an earlier test's load
        fake::sys().reset();
        fake::sys().ioperm_error = ioperm_error;
        fake::sys().open_result = open_result;
        fake::sys().bus = {{0x280, 0x9A}, {0x281, 0xB0}, {0x284, 0x00}};
        platform::backend.start();
    }
    static std::vector<SysCall> take_calls() {
        auto& s = fake::sys();
        std::vector<SysCall> calls = s.calls;
        s.calls.clear();
        s.threads.clear();
        return calls;
    }
};

// ---- The decision, and what an access then does --------------------------------

struct DecisionCase {
    const char* name;
    int ioperm_error;
    int open_result;  // a descriptor, or -errno
    PortPath path;
    std::vector<SysCall> at_start;
    std::vector<SysCall> on_access;  // in_port(0x284), then out_port(0x280, 0xFF)
    unsigned char status;            // what in_port(0x284) gives
};

const DecisionCase decision_cases[] = {
    {"root: ioperm granted", 0, -ENOENT, PortPath::direct,
     {ioperm(0x280, 5)},
     {call(Sys::inb, 0x284), call(Sys::outb, 0x280)}, 0x00},
    {"not root: EPERM, no dev port", EPERM, -ENOENT, PortPath::none,
     {ioperm(0x280, 5), call(Sys::open)}, {}, 0xFF},
    {"not root: EPERM, dev port not ours", EPERM, -EACCES, PortPath::none,
     {ioperm(0x280, 5), call(Sys::open)}, {}, 0xFF},
    {"lockdown: EPERM on both", EPERM, -EPERM, PortPath::none,
     {ioperm(0x280, 5), call(Sys::open)}, {}, 0xFF},
    {"no ioperm in kernel: ENOSYS, dev port opens", ENOSYS, fake::dev_port_fd, PortPath::dev_port,
     {ioperm(0x280, 5), call(Sys::open)},
     {call(Sys::pread, 0x284), call(Sys::pwrite, 0x280)}, 0x00},
    {"no ioperm in kernel: ENOSYS, no dev port", ENOSYS, -ENOENT, PortPath::none,
     {ioperm(0x280, 5), call(Sys::open)}, {}, 0xFF},
    {"EPERM, dev port opens", EPERM, fake::dev_port_fd, PortPath::dev_port,
     {ioperm(0x280, 5), call(Sys::open)},
     {call(Sys::pread, 0x284), call(Sys::pwrite, 0x280)}, 0x00},
};

class Decision : public LinuxPlatform, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(Decision, TakesThePathAndEveryAccessFollowsIt) {
    const DecisionCase& c = GetParam();
    start_with(c.ioperm_error, c.open_result);
    const PortAccess access = platform::linux_ports::port_access();
    EXPECT_EQ(access.path, c.path);
    EXPECT_EQ(access.ioperm_error, c.ioperm_error);
    EXPECT_EQ(access.dev_port_error, c.open_result < 0 && c.ioperm_error ? -c.open_result : 0);
    EXPECT_EQ(take_calls(), c.at_start);

    EXPECT_EQ(in_port(0x284), c.status);
    out_port(0x280, 0x1FF);
    EXPECT_EQ(take_calls(), c.on_access);
    EXPECT_EQ(fake::sys().faults, 0);
    if (!c.on_access.empty())
        EXPECT_EQ(fake::sys().written, (decltype(fake::sys().written){{0x280, 0xFF}}));
    else
        EXPECT_TRUE(fake::sys().written.empty()) << "a write with no path must be dropped";
}

INSTANTIATE_TEST_SUITE_P(Table, Decision, ::testing::ValuesIn(decision_cases),
                         row_name<::testing::TestParamInfo<DecisionCase>>);

TEST_F(LinuxPlatform, DevPortPathPassesTheFullPortNumberAndBeyond0xFFFFReads0xFF) {
    start_with(ENOSYS, fake::dev_port_fd);
    take_calls();
    EXPECT_EQ(in_port(0x12345), 0xFF);
    EXPECT_EQ(take_calls(), (std::vector<SysCall>{call(Sys::pread, 0x12345)}));
}

TEST_F(LinuxPlatform, NoPathMeansNoCardAfter100ms) {
    start_with(ENOSYS, -ENOENT);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Init(), 0);
    const auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(waited, std::chrono::milliseconds(99));
    EXPECT_LT(waited, std::chrono::seconds(2));
    EXPECT_EQ(readad(0), 1e10f);
    EXPECT_EQ(in_port(0x284), 255);
}

TEST_F(LinuxPlatform, DirectPathReadsTheCard) {
    start_with(0, -ENOENT);
    EXPECT_EQ(Init(), 1);
    EXPECT_EQ(readad(0), static_cast<float>((0x9AB - 2047.5) * (5.12 / 2047))) << "code 0x9AB";
    EXPECT_EQ(fake::sys().faults, 0);
}

// ---- Threads and ports: the permission is the thread's ------------------------

TEST_F(LinuxPlatform, AThreadNotYetGrantedAsksForTheCardPortsBeforeItsFirstAccess) {
    start_with(0, -ENOENT);
    take_calls();
    std::thread::id id;
    std::thread worker([&] {
        id = std::this_thread::get_id();
        in_port(0x284);
        out_port(0x282, 0xFF);
        in_port(0x283);
    });
    worker.join();
    EXPECT_EQ(fake::sys().calls_on(id), (std::vector<SysCall>{ioperm(0x280, 5), call(Sys::inb, 0x284),
                                                               call(Sys::outb, 0x282), call(Sys::inb, 0x283)}));
    EXPECT_EQ(fake::sys().faults, 0);
}

TEST_F(LinuxPlatform, APortOutsideTheCardIsGrantedOnDemandOncePerThread) {
    start_with(0, -ENOENT);
    take_calls();
    for (int port : {0x378, 0x378, 0x1234, 0x1234, 0x378})
        in_port(port);
    EXPECT_EQ(take_calls(), (std::vector<SysCall>{ioperm(0x378, 1), call(Sys::inb, 0x378), call(Sys::inb, 0x378),
                                                  ioperm(0x1234, 1), call(Sys::inb, 0x1234),
                                                  call(Sys::inb, 0x1234), call(Sys::inb, 0x378)}));
    EXPECT_EQ(fake::sys().faults, 0);
}

struct RefusalCase {
    const char* name;
    int ioperm_error_later;          // what ioperm gives after the load granted the card
    std::uint32_t ioperm_limit;
    int port;
    bool on_new_thread;
    const char* explained;           // in the explanation of port_access()
};

const RefusalCase refusal_cases[] = {
    {"port above the range ioperm covers", 0, 0x400, 0x1234, false, "0x1234 is above the range ioperm covers"},
    {"thread refused after privileges were dropped", EPERM, 0x10000, 0x284, true, "refused port 0x284 with EPERM"},
};

class Refusal : public LinuxPlatform, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusal, ReadsFloatingDropsTheWriteAndNeverExecutesTheInstruction) {
    const RefusalCase& c = GetParam();
    start_with(0, -ENOENT);
    fake::sys().ioperm_error = c.ioperm_error_later;
    fake::sys().ioperm_limit = c.ioperm_limit;
    take_calls();
    unsigned char read = 0;
    auto access = [&] {
        read = in_port(c.port);
        out_port(c.port, 0x55);
    };
    if (c.on_new_thread)
        std::thread(access).join();
    else
        access();

    EXPECT_EQ(read, 0xFF);
    for (const SysCall& made : take_calls())
        EXPECT_EQ(made.call, Sys::ioperm) << "only the grant may be tried: " << made;
    EXPECT_TRUE(fake::sys().written.empty());
    EXPECT_EQ(fake::sys().faults, 0);
    const PortAccess now = platform::linux_ports::port_access();
    EXPECT_EQ(now.path, PortPath::direct) << "the process's path stays";
    EXPECT_EQ(now.refused_port, c.port);
    EXPECT_NE(platform::linux_ports::explain(now, {}).find(c.explained), std::string::npos)
        << platform::linux_ports::explain(now, {});
}

INSTANTIATE_TEST_SUITE_P(Table, Refusal, ::testing::ValuesIn(refusal_cases),
                         row_name<::testing::TestParamInfo<RefusalCase>>);

TEST_F(LinuxPlatform, AChildOfForkAsksAgainBeforeItsFirstAccess) {
    // The fake's grant belongs to a process and thread, as on a kernel that
    // does not pass it on to a child: the child must ask for itself.
    start_with(0, -ENOENT);
    in_port(0x284);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        fake::sys().calls.clear();
        in_port(0x284);
        const bool asked = !fake::sys().calls.empty() && fake::sys().calls.front().call == Sys::ioperm;
        _exit(fake::sys().faults == 0 && asked ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child ran IN without its own grant";
}

// ---- The reason, in words -------------------------------------------------------

struct ReasonCase {
    const char* name;
    PortAccess access;
    bool cap_sys_rawio;
    const char* lockdown;
    std::vector<const char*> words;
};

PortAccess refused(int ioperm_error, int dev_port_error, PortPath path = PortPath::none) {
    PortAccess a;
    a.path = path;
    a.ioperm_error = ioperm_error;
    a.dev_port_error = dev_port_error;
    return a;
}

const ReasonCase reason_cases[] = {
    {"granted", refused(0, 0, PortPath::direct), true, "none", {"direct", "0x280-0x284"}},
    {"not root", refused(EPERM, ENOENT), false, "none", {"none:", "not root and no CAP_SYS_RAWIO", "setcap cap_sys_rawio+ep", "no /dev/port", "reads 0xFF"}},
    {"lockdown", refused(EPERM, EPERM), true, "integrity", {"lockdown is 'integrity'", "Secure Boot", "closed by kernel lockdown"}},
    {"container seccomp", refused(EPERM, ENOENT), true, "", {"seccomp", "--cap-add SYS_RAWIO"}},
    {"kernel without ioperm", refused(ENOSYS, ENOENT), true, "", {"ENOSYS", "VM-based containers", "no /dev/port"}},
    {"kernel without ioperm, dev port open", refused(ENOSYS, 0, PortPath::dev_port), true, "", {"/dev/port:", "ENOSYS", "pread/pwrite"}},
    {"dev port not ours", refused(EPERM, EACCES), false, "", {"not readable and writable by this user"}},
};

class Reason : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(Reason, NamesTheCauseAndTheRemedy) {
    const ReasonCase& c = GetParam();
    platform::linux_ports::Circumstances around;
    around.cap_sys_rawio = c.cap_sys_rawio;
    std::snprintf(around.lockdown, sizeof around.lockdown, "%s", c.lockdown);
    const std::string text = platform::linux_ports::explain(c.access, around);
    for (const char* word : c.words)
        EXPECT_NE(text.find(word), std::string::npos) << "'" << word << "' missing from: " << text;
}

INSTANTIATE_TEST_SUITE_P(Table, Reason, ::testing::ValuesIn(reason_cases),
                         row_name<::testing::TestParamInfo<ReasonCase>>);

TEST_F(LinuxPlatform, LooksAroundThroughTheSeam) {
    fake::sys().cap_sys_rawio = true;
    fake::sys().lockdown = "confidentiality";
    const auto around = platform::linux_ports::look_around();
    EXPECT_TRUE(around.cap_sys_rawio);
    EXPECT_STREQ(around.lockdown, "confidentiality");
}

}  // namespace
}  // namespace morvante::test
