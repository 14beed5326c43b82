#pragma once
// The simulated module's side of the line: a pseudo-terminal whose slave side the host opens as
// its serial port (or a TCP port, as a serial device server offers its line), and the loop that
// gathers request frames, asks the Module for the reply and sends it, and runs the console commands
// from standard input. Single-threaded (poll()).

#include "command_shell.h"
#include "module.h"

#include "link/telnet.h"

#include <QString>
#include <deque>
#include <memory>
#include <random>
#include <vector>

class PtyServer {
public:
    struct Options {
        bool pace = false; // send at the line's speed after a turnaround
        int turnaroundMs = 3;
        // Up to this many ms more turnaround, and a gap of up to as many inside each reply, so
        // that replies arrive in pieces at varying times (0: none).
        int jitterMs = 0;
    };

    PtyServer(Module& module, CommandShell& shell, const Options& options);
    // Several modules on the one line, at different addresses (the first sets the line's pace).
    PtyServer(std::vector<Module*> modules, CommandShell& shell, const Options& options);
    ~PtyServer(); // removes the link and closes the terminal

    // Opens the pseudo-terminal and points linkPath at its slave side (replacing a stale link;
    // any other file there is an error).
    bool open(const QString& linkPath, QString& error);
    // Instead of a pseudo-terminal: listens on "[HOST:]PORT" (127.0.0.1 unless a host is given;
    // port 0 takes a free one) for the raw bytes of the line over TCP, one host at a time, as a
    // serial device server in transparent mode; slavePath() is then "tcp://HOST:PORT".
    // With rfc2217, the host speaks Telnet with COM port control (RFC 2217): the line settings it
    // sets are those the module hears with, parity included.
    bool listenTcp(const QString& hostPort, QString& error, bool rfc2217 = false);
    QString slavePath() const { return slavePath_; }

    // Serves until SIGINT/SIGTERM or the quit command; returns the exit code.
    int run();
    // Seconds on the server's monotonic clock.
    double now() const;

private:
    void serveRequest(double now);
    bool catchSignals(QString& error);
    void takeConnection();
    // The descriptor the line's bytes travel on: the pty's master side or the TCP connection.
    int lineFd() const { return listen_ >= 0 ? client_ : master_; }
    ModuleLineSettings lineSettings() const;
    void runCommandLines();
    void takeOpens();
    void removeLink();

    Module& primary() const { return *modules_.front(); }
    std::vector<Module*> modules_;
    CommandShell& shell_;
    Options options_;
    int master_ = -1;
    int slave_ = -1;  // kept open so that the line stays up while the host has it closed
    int opens_ = -1;  // inotify: the host opening the slave side
    int listen_ = -1; // TCP: the listening socket
    int client_ = -1; // TCP: the host's connection
    bool rfc2217_ = false;
    std::unique_ptr<TelnetDecoder> telnet_; // of the connection, RFC 2217 only
    ModuleLineSettings remote_;             // as the RFC 2217 host set them
    void writeLine(const std::vector<uint8_t>& bytes);
    void comPortCommand(const std::vector<uint8_t>& bytes);
    QString slavePath_;
    QString linkPath_;
    std::vector<uint8_t> rx_;
    double lastRx_ = 0;
    struct Pending {
        uint8_t byte;
        double due;
    };
    std::deque<Pending> tx_;
    bool txStarted_ = false;
    QByteArray stdinBuffer_;
    bool stdinOpen_ = true;
    bool quit_ = false;
    std::mt19937 jitter_{1}; // a fixed seed: a run can be repeated
};
