// The archive library's functions. It brings compression, XML and crypto libraries that only the
// archive commands need, so it is opened when the first archive is made or read.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include "platform/optional_library.h"

namespace morivel::archive {

struct ArchiveApi {
  static constexpr const char* kSoname = "libarchive.so.13";
  decltype(&archive_entry_filetype) entry_filetype;
  decltype(&archive_entry_free) entry_free;
  decltype(&archive_entry_hardlink) entry_hardlink;
  decltype(&archive_entry_mtime) entry_mtime;
  decltype(&archive_entry_mtime_is_set) entry_mtime_is_set;
  decltype(&archive_entry_new) entry_new;
  decltype(&archive_entry_pathname) entry_pathname;
  decltype(&archive_entry_pathname_utf8) entry_pathname_utf8;
  decltype(&archive_entry_perm) entry_perm;
  decltype(&archive_entry_set_filetype) entry_set_filetype;
  decltype(&archive_entry_set_mtime) entry_set_mtime;
  decltype(&archive_entry_set_pathname) entry_set_pathname;
  decltype(&archive_entry_set_perm) entry_set_perm;
  decltype(&archive_entry_set_size) entry_set_size;
  decltype(&archive_entry_symlink) entry_symlink;
  decltype(&archive_error_string) error_string;
  decltype(&archive_read_data) read_data;
  decltype(&archive_read_free) read_free;
  decltype(&archive_read_new) read_new;
  decltype(&archive_read_next_header) read_next_header;
  decltype(&archive_read_open_filename) read_open_filename;
  decltype(&archive_read_open_memory) read_open_memory;
  decltype(&archive_read_set_options) read_set_options;
  decltype(&archive_read_support_filter_all) read_support_filter_all;
  decltype(&archive_read_support_format_all) read_support_format_all;
  decltype(&archive_write_add_filter_bzip2) write_add_filter_bzip2;
  decltype(&archive_write_add_filter_gzip) write_add_filter_gzip;
  decltype(&archive_write_close) write_close;
  decltype(&archive_write_data) write_data;
  decltype(&archive_write_free) write_free;
  decltype(&archive_write_header) write_header;
  decltype(&archive_write_new) write_new;
  decltype(&archive_write_open_filename) write_open_filename;
  decltype(&archive_write_set_format_7zip) write_set_format_7zip;
  decltype(&archive_write_set_format_pax_restricted) write_set_format_pax_restricted;
  decltype(&archive_write_set_format_zip) write_set_format_zip;
  decltype(&archive_write_set_options) write_set_options;

  void Resolve(platform::OptionalLibrary& library) {
    library.Resolve("archive_entry_filetype", entry_filetype);
    library.Resolve("archive_entry_free", entry_free);
    library.Resolve("archive_entry_hardlink", entry_hardlink);
    library.Resolve("archive_entry_mtime", entry_mtime);
    library.Resolve("archive_entry_mtime_is_set", entry_mtime_is_set);
    library.Resolve("archive_entry_new", entry_new);
    library.Resolve("archive_entry_pathname", entry_pathname);
    library.Resolve("archive_entry_pathname_utf8", entry_pathname_utf8);
    library.Resolve("archive_entry_perm", entry_perm);
    library.Resolve("archive_entry_set_filetype", entry_set_filetype);
    library.Resolve("archive_entry_set_mtime", entry_set_mtime);
    library.Resolve("archive_entry_set_pathname", entry_set_pathname);
    library.Resolve("archive_entry_set_perm", entry_set_perm);
    library.Resolve("archive_entry_set_size", entry_set_size);
    library.Resolve("archive_entry_symlink", entry_symlink);
    library.Resolve("archive_error_string", error_string);
    library.Resolve("archive_read_data", read_data);
    library.Resolve("archive_read_free", read_free);
    library.Resolve("archive_read_new", read_new);
    library.Resolve("archive_read_next_header", read_next_header);
    library.Resolve("archive_read_open_filename", read_open_filename);
    library.Resolve("archive_read_open_memory", read_open_memory);
    library.Resolve("archive_read_set_options", read_set_options);
    library.Resolve("archive_read_support_filter_all", read_support_filter_all);
    library.Resolve("archive_read_support_format_all", read_support_format_all);
    library.Resolve("archive_write_add_filter_bzip2", write_add_filter_bzip2);
    library.Resolve("archive_write_add_filter_gzip", write_add_filter_gzip);
    library.Resolve("archive_write_close", write_close);
    library.Resolve("archive_write_data", write_data);
    library.Resolve("archive_write_free", write_free);
    library.Resolve("archive_write_header", write_header);
    library.Resolve("archive_write_new", write_new);
    library.Resolve("archive_write_open_filename", write_open_filename);
    library.Resolve("archive_write_set_format_7zip", write_set_format_7zip);
    library.Resolve("archive_write_set_format_pax_restricted", write_set_format_pax_restricted);
    library.Resolve("archive_write_set_format_zip", write_set_format_zip);
    library.Resolve("archive_write_set_options", write_set_options);
  }
};
using ArchiveLibrary = platform::LazyLibrary<ArchiveApi>;

}  // namespace morivel::archive
