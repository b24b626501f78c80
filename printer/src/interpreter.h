// Incremental ESC/POS stream interpreter. It is fed chunks as they arrive,
// keeps a partial command until the rest comes, answers status queries at
// once, writes the journal and drives the renderer.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "journal.h"
#include "renderer.h"
#include "status.h"

namespace quorvel::printer {

struct InterpreterLimits {
    size_t max_symbol_data = 7089;          // bytes of 2D symbol or GS ( k store data
    size_t max_raster_bytes = 1u << 20;     // GS v 0 / ESC * image data held at once
    size_t max_command_bytes = 256u << 10;  // anything longer is skipped unread
};

struct InterpreterCounters {
    uint64_t commands = 0;
    uint64_t unknown = 0;
    uint64_t skipped_bytes = 0;  // payload bytes skipped for being over a cap
    uint64_t rejected = 0;       // symbols not printed for invalid data
    uint64_t replies = 0;
    bool truncated = false;  // the stream ended inside a command
};

class Interpreter {
  public:
    using Reply = std::function<void(std::span<const uint8_t>)>;

    Interpreter(Renderer& renderer, StatusModel& status, Journal& journal, Reply reply,
                InterpreterLimits limits = {});

    void feed(std::span<const uint8_t> data);
    // End of the stream: log a command cut short, print what is left.
    void finish();

    uint64_t offset() const { return offset_; }
    size_t buffered() const { return buf_.size() - pos_; }
    const InterpreterCounters& counters() const { return counters_; }

  private:
    size_t step(const uint8_t* p, size_t n);
    size_t step_esc(const uint8_t* p, size_t n);
    size_t step_gs(const uint8_t* p, size_t n);
    size_t step_fs(const uint8_t* p, size_t n);
    size_t step_dle(const uint8_t* p, size_t n);
    size_t text(const uint8_t* p, size_t n);
    // Substates that walk multi-part definitions (FS q, ESC &).
    size_t step_substate(const uint8_t* p, size_t n);

    void log(const uint8_t* p, size_t len, std::string_view mnemonic, std::string_view meaning);
    void unknown(const uint8_t* p, size_t len, std::string_view what);
    // Consume a header now and skip `payload` further bytes as they arrive.
    size_t skip_payload(const uint8_t* p, size_t header, uint64_t payload,
                        std::string_view mnemonic, std::string_view why);
    void send(std::initializer_list<uint8_t> bytes);
    void note(std::string_view text);

    void gs_paren(const uint8_t* p, size_t len);
    void qr_function(const uint8_t* p, size_t len);
    void pdf_function(const uint8_t* p, size_t len);
    void esc_z(const uint8_t* p, size_t len);
    void print_qr(std::string_view data, int ecc, int module, const char* via);
    void print_pdf417(std::string_view data, int columns, int ecc, int module_w, int row_h,
                      bool truncated);
    void self_test();

    Renderer& r_;
    StatusModel& status_;
    Journal& journal_;
    Reply reply_;
    InterpreterLimits limits_;
    InterpreterCounters counters_;

    std::vector<uint8_t> buf_;
    size_t pos_ = 0;
    uint64_t offset_ = 0;  // stream offset of buf_[pos_]

    uint64_t skip_ = 0;
    bool escv_param_ = false;
    int fsq_left_ = 0;
    int userchar_left_ = 0;
    int userchar_y_ = 0;
    bool auto_status_ = false;

    int gsz_ = 0;  // GS Z: 0 PDF417, 1 Data Matrix, 2 QR Code
    struct {
        int model = 50;
        int module = 3;
        int ecc = 0;
        std::string data;
    } qr_;
    struct {
        int columns = 0;
        int rows = 0;
        int module = 3;
        int row_height = 3;
        int ecc = -1;
        bool truncated = false;
        std::string data;
    } pdf_;
};

}  // namespace quorvel::printer
