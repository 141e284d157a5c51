// Filerefs, option statements and option-block images under the sweep.
#include <cstring>

#include "sweep/sweep_driver.h"

namespace sweep_test {
namespace {

TEST_F(SweepTest, AssignLikeListAndDeassign) {
    sweep({[] {},
           [this]() -> int32_t {
               STEP(assign_with("CAT", "work.lib", "lrecl=80 recfm=v desc='kept' attr encoding=utf-8"));
               STEP(assign_with("ENTRY", "work.lib.one.log", "mod"));
               STEP(assign_with("ENTRY", "work.lib.two.log"));  // again: the first block goes
               Name8 like("LIKE");
               STEP(assign_like_slot(like, nullptr, zef::kMethodName, "CAT", 3, "member", 6, nullptr,
                                     nullptr));
               Name8 own("OWN");
               zefhost::ParsedOptions parsed = parse("lrecl=10", 0x10);  // the caller's
               STEP(parsed.status);
               kept_options.push_back(std::move(parsed.block));
               STEP(assign_like_slot(own, nullptr, zef::kMethodName, "ENTRY", 5, nullptr, 0, nullptr,
                                     kept_options.back().get()));
               STEP(fileref_exists_slot(Name8("LIKE"), nullptr));
               char physical[1024];
               STEP(physical_name_slot(Name8("LIKE"), physical));

               int listed = 0;
               zef::FilerefRecord *cursor = nullptr;
               for (;;) {
                   char name[8];
                   const char *full_name = nullptr;
                   int32_t length = 0;
                   int32_t status = next_fileref_slot(&cursor, name, nullptr, &full_name, &length);
                   if (status == zef::kEndOfList) break;
                   STEP(status);
                   ++listed;
               }
               STEP(deassign("OWN"));
               STEP(deassign("LIKE"));
               if (listed != 4) return kWrongResult;
               return std::strncmp(physical, "WORK.LIB.MEMBER", 15) == 0 ? zef::kOk : kWrongResult;
           }});
}

TEST_F(SweepTest, OptionBlockImagesAndRelease) {
    sweep({[] {},
           [this]() -> int32_t {
               zefhost::ParsedOptions parsed = parse("lrecl=80 recfm=f desc='kept' attr encoding=latin1");
               STEP(parsed.status);
               void *image = nullptr;
               int32_t length = 0;
               int32_t status = image_slot(nullptr, nullptr, parsed.block.get(), &image, &length);
               if (status != zef::kOk) return status;
               zef::OptionBlock *copy = nullptr;
               status = from_image_slot(nullptr, nullptr, image, length, &copy);
               host.owner_pool().release(image);  // the host's to release
               STEP(status);
               bool same = copy->lrecl == 80 && copy->attr == 1;
               STEP(release_options_slot(Name8("NOSUCH"), nullptr, copy));
               return same ? zef::kOk : kWrongResult;
           }});
}

}  // namespace
}  // namespace sweep_test
