// The SimConnect stand-in as a program, steered line by line on its standard
// input (every command answers one line on its standard output):
//   tcp <port4> <port6>     listen on 127.0.0.1 and ::1 (0 = any free port)
//   pipe <full pipe name>   listen on a named pipe (Windows)
//   rate <hz>               frames per second of the data stream
//   set <value> <variable>  the aircraft state
//   stamp <variable>        that variable carries the frame number
//   silent <0|1>            stop or resume sending, connections stay open
//   quit                    send QUIT, keep the connections
//   stop                    send QUIT, close everything, stop listening
//   count                   counters of what arrived
//   dump                    every message received, one line each
//   exit
#include "simconnectserver.h"

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

int main()
{
    simpeer::SimConnectServer server;
    std::string line;
    std::printf("ready\n");
    std::fflush(stdout);
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream in(line);
        std::string cmd;
        in >> cmd;
        std::string rest;
        std::getline(in >> std::ws, rest);
        if (cmd == "tcp") {
            unsigned p4 = 0, p6 = 0;
            std::istringstream(rest) >> p4 >> p6;
            const bool ok = server.listenTcp(static_cast<std::uint16_t>(p4), static_cast<std::uint16_t>(p6));
            std::printf("%s %u %u\n", ok ? "ok tcp" : "fail tcp", server.port4(), server.port6());
        } else if (cmd == "pipe") {
            std::printf("%s\n", server.listenPipe(rest) ? "ok pipe" : "fail pipe");
        } else if (cmd == "rate") {
            server.setFrameRate(std::stod(rest));
            std::printf("ok rate\n");
        } else if (cmd == "set") {
            std::istringstream v(rest);
            double value = 0;
            v >> value;
            std::string name;
            std::getline(v >> std::ws, name);
            server.setValue(name, value);
            std::printf("ok set\n");
        } else if (cmd == "stamp") {
            server.setStampVariable(rest);
            std::printf("ok stamp\n");
        } else if (cmd == "silent") {
            server.setSilent(rest == "1");
            std::printf("ok silent\n");
        } else if (cmd == "quit") {
            server.sendQuit();
            std::printf("ok quit\n");
        } else if (cmd == "stop") {
            server.stop();
            std::printf("ok stop\n");
        } else if (cmd == "count") {
            int rejected = 0;
            const auto all = server.received();
            for (const auto &m : all)
                rejected += m.rejected ? 1 : 0;
            std::printf("ok count received %zu rejected %d sessions %d open %d frames %llu\n", all.size(),
                        rejected, server.sessionsAccepted(), server.openSessions(),
                        static_cast<unsigned long long>(server.framesSent()));
        } else if (cmd == "dump") {
            for (const auto &m : server.received())
                std::printf("msg %08X %u %u %u %d %s\n", m.id, m.size, m.version, m.sendId,
                            m.rejected ? 1 : 0, m.text.c_str());
            std::printf("ok dump\n");
        } else if (cmd == "exit") {
            std::printf("ok exit\n");
            std::fflush(stdout);
            break;
        } else if (!cmd.empty()) {
            std::printf("unknown %s\n", cmd.c_str());
        }
        std::fflush(stdout);
    }
    server.stop();
    return 0;
}
