// Placeholder bodies of the companion functions until each lands in its own file.
#include "api/quorvel.h"

extern "C" int QUORVEL_CALL quorvel_last_error(char* message, int size) {
    if (message != nullptr && size > 0) message[0] = '\0';
    return QUORVEL_E_OK;
}
extern "C" int QUORVEL_CALL quorvel_open_tcp(const char*, int, int) { return 0; }
extern "C" int QUORVEL_CALL quorvel_open_serial(const char*, int, int) { return 0; }
extern "C" int QUORVEL_CALL quorvel_print_image(const unsigned char*, int, int, int, int, int) {
    return 0;
}
extern "C" int QUORVEL_CALL quorvel_store_logo(int, const unsigned char*, int, int, int, int) {
    return 0;
}
extern "C" int QUORVEL_CALL quorvel_read_status(quorvel_status*) { return 0; }
extern "C" int QUORVEL_CALL quorvel_utf8_to_cp1252(const char*, char*, int) { return -1; }
