// Typed calls into the host's catalog services (vector 48), reached like the
// kernel routines. Request blocks are the layouts of zefxbaml/requests.h.
#pragma once

#include <cstdint>

#include "zefxbaml/requests.h"

namespace host {

int32_t ylopen(zef::LibraryRequest *request, void **catalog);
int32_t ylclose(void *catalog);
int32_t ylmopen(zef::MemberRequest *request, void **entry);
int32_t ylmclos(void *entry);
int32_t ylmread(void *entry, zef::TransferRequest *transfer);
int32_t ylmwrit(void *entry, zef::TransferRequest *transfer);
int32_t ylmpoin(void *entry, int64_t position, int32_t how);
int32_t ylmnote(void *entry, int64_t *position);
int32_t ylminfo(zef::EntryRequest *request, int64_t *size);
int32_t ylmfind(zef::FindRequest *request);
int32_t ylmdel(zef::EntryRequest *request);
int32_t yldopen(void *catalog, const char *filter8, void **scan_cell);
int32_t yldread(void *scan, zef::DirectoryEntryArea *area);
int32_t yldclos(void *scan);
int32_t ylinfsy(void *catalog, zef::InformationRecord *record);
int32_t ylinfsr(void *catalog, void *host_word);

}  // namespace host
