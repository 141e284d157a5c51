#include "host/catalog.h"

#include "host/call.h"

namespace host {

using namespace zef;

int32_t ylopen(LibraryRequest *request, void **catalog) {
    return routine_at<proto::ylopen>(routine::ylopen)(request, catalog);
}

int32_t ylclose(void *catalog) { return routine_at<proto::ylclose>(routine::ylclose)(catalog, 0); }

int32_t ylmopen(MemberRequest *request, void **entry) {
    return routine_at<proto::ylmopen>(routine::ylmopen)(request, entry);
}

int32_t ylmclos(void *entry) { return routine_at<proto::ylmclos>(routine::ylmclos)(entry, 0); }

int32_t ylmread(void *entry, TransferRequest *transfer) {
    return routine_at<proto::ylmread>(routine::ylmread)(entry, transfer);
}

int32_t ylmwrit(void *entry, TransferRequest *transfer) {
    return routine_at<proto::ylmwrit>(routine::ylmwrit)(entry, transfer);
}

int32_t ylmpoin(void *entry, int64_t position, int32_t how) {
    return routine_at<proto::ylmpoin>(routine::ylmpoin)(entry, position, how);
}

int32_t ylmnote(void *entry, int64_t *position) {
    return routine_at<proto::ylmnote>(routine::ylmnote)(entry, position);
}

int32_t ylminfo(EntryRequest *request, int64_t *size) {
    return routine_at<proto::ylminfo>(routine::ylminfo)(request, 0, 2, size);
}

int32_t ylmfind(FindRequest *request) {
    return routine_at<proto::ylmfind>(routine::ylmfind)(request);
}

int32_t ylmdel(EntryRequest *request) {
    return routine_at<proto::ylmdel>(routine::ylmdel)(request, 0);
}

int32_t yldopen(void *catalog, const char *filter8, void **scan_cell) {
    return routine_at<proto::yldopen>(routine::yldopen)(catalog, filter8, 0, scan_cell);
}

int32_t yldread(void *scan, DirectoryEntryArea *area) {
    return routine_at<proto::yldread>(routine::yldread)(scan, area, 0);
}

int32_t yldclos(void *scan) { return routine_at<proto::yldclos>(routine::yldclos)(scan); }

int32_t ylinfsy(void *catalog, InformationRecord *record) {
    return routine_at<proto::ylinfsy>(routine::ylinfsy)(catalog, record);
}

int32_t ylinfsr(void *catalog, void *host_word) {
    return routine_at<proto::ylinfsr>(routine::ylinfsr)(catalog, host_word);
}

}  // namespace host
