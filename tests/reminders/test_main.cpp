// The reminder tests run in the time zone Europe/Berlin, so that the
// daylight-saving changes are part of every table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

int main(int argc, char** argv) {
    setenv("TZ", "Europe/Berlin", 1);
    setenv("ZT_NO_SECRET_STORE", "1", 1);
    tzset();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
