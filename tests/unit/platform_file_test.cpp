// The platform file layer on either system: cutting an open file back.
#include "helpers.h"

#include "platform/file.h"

namespace {

using PlatformFile = ScratchDir;

TEST_F(PlatformFile, TruncateCutsAnOpenFileBack) {
    const std::string bytes = "0123456789";
    for (const uint64_t size : {uint64_t{0}, uint64_t{4}, uint64_t{10}}) {
        SCOPED_TRACE(size);
        uint32_t error = 0;
        const plat::Handle h =
            plat::file_open(path("cut.txt").c_str(), plat::OpenMode::Write, &error);
        ASSERT_NE(h, plat::INVALID_HANDLE) << error;
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
        ASSERT_EQ(plat::file_write(h, data, 10, &error), 10);
        EXPECT_TRUE(plat::file_truncate(h, size, &error)) << error;
        EXPECT_FALSE(plat::file_is_char_device(h));
        plat::file_close(h);
        EXPECT_EQ(read_file(path("cut.txt")), bytes.substr(0, size));
    }
}

TEST_F(PlatformFile, TruncateOfAFileOpenForReadingFails) {
    write_file(path("in.txt"), "keep");
    uint32_t error = 0;
    const plat::Handle h = plat::file_open(path("in.txt").c_str(), plat::OpenMode::Read, &error);
    ASSERT_NE(h, plat::INVALID_HANDLE) << error;
    EXPECT_FALSE(plat::file_truncate(h, 0, &error));
    EXPECT_NE(error, 0u);
    plat::file_close(h);
    EXPECT_EQ(read_file(path("in.txt")), "keep");
}

} // namespace
