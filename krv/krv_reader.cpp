#include "krv/krv_reader.h"

KrvFile* krv_open(const std::string&, bool) { return nullptr; }
KrvFile* krv_open_io(const KrvIo&, const std::string&) { return nullptr; }
int krv_init(KrvFile*) { return KRV_ERROR_INTERNAL; }
KrvPacket* krv_packet_create(const KrvFile*, bool) { return nullptr; }
void krv_packet_reset(KrvPacket*) {}
void krv_packet_destroy(KrvPacket* packet) { delete packet; }
int krv_get_packet(KrvFile*, KrvPacket*, bool, const KrvSavedHeader*) { return KRV_ERROR_INTERNAL; }
void krv_close(KrvFile* file) { delete file; }
