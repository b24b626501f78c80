// SPDX-License-Identifier: MIT
// Device actions: paper cut, drawer pulse, self-test page, stored logo.
#include "api/quorvel.h"
#include "link/command.h"

using namespace quorvel;

namespace {

int cut_paper() {
    Command<3> cmd;
    cmd.put(GS, 'V', 0x00);  // GS V 0: full cut
    // On a queue link the cut ends the receipt: its job goes to the spooler.
    return cmd.send() && link::end_of_document();
}

}  // namespace

extern "C" int QUORVEL_CALL AcionaGuilhotina() {
    link::CallGuard guard;
    return cut_paper();
}

extern "C" int QUORVEL_CALL quorvel_printer_cut(quorvel_printer* printer) {
    link::PrinterGuard guard(printer);
    return guard ? cut_paper() : 0;
}

namespace {

int open_drawer() {
    Command<5> cmd;
    cmd.put(ESC, 'p', 0x00, 60, 120);  // ESC p: pin 2, on 120 ms, off 240 ms
    return cmd.send();
}

}  // namespace

extern "C" int QUORVEL_CALL Abre_Gaveta() {
    link::CallGuard guard;
    return open_drawer();
}

extern "C" int QUORVEL_CALL quorvel_printer_open_drawer(quorvel_printer* printer) {
    link::PrinterGuard guard(printer);
    return guard ? open_drawer() : 0;
}

namespace {

int print_self_test() {
    Command<4> cmd;
    cmd.put(ESC, '@', DC2, 'T');  // ESC @, DC2 T: self-test page
    return cmd.send();
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimeAutoTeste() {
    link::CallGuard guard;
    return print_self_test();
}

extern "C" int QUORVEL_CALL quorvel_printer_self_test(quorvel_printer* printer) {
    link::PrinterGuard guard(printer);
    return guard ? print_self_test() : 0;
}

namespace {

int print_logo(int image_number, int justification, int print_mode) {
    Command<9> cmd;
    cmd.put(ESC, '@');
    cmd.put(ESC, 'a', justification);  // low byte as given: no justification mapping here
    cmd.put(FS, 'p', image_number, print_mode);  // FS p n m: stored image n in mode m
    return cmd.send();
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimeLogoNV(int image_number, int justification, int print_mode) {
    link::CallGuard guard;
    return print_logo(image_number, justification, print_mode);
}

extern "C" int QUORVEL_CALL quorvel_printer_logo(quorvel_printer* printer, int image_number,
                                                 int justification, int print_mode) {
    link::PrinterGuard guard(printer);
    return guard ? print_logo(image_number, justification, print_mode) : 0;
}
