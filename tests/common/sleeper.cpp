// Sleeps for the seconds of its first argument: a stand-in for a running bridge
// program, copied under the bridge's name by the tests that end bridges.
#include <chrono>
#include <cstdlib>
#include <thread>

int main(int argc, char **argv)
{
    std::this_thread::sleep_for(std::chrono::seconds(argc > 1 ? std::atoi(argv[1]) : 60));
    return 0;
}
