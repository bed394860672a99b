#include "export.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/text.h"
#include "catalogue.h"
#include "media.h"
#include "options.h"
#include "pages.h"
#include "protocol.h"
#include "release/manifest.h"

namespace tsrv {

namespace fs = std::filesystem;

namespace {

class ExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr fs::perms kFile = fs::perms::owner_read | fs::perms::owner_write |
                            fs::perms::group_read | fs::perms::others_read;
constexpr fs::perms kFolder = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec;

// The files of the site, written into a folder that nobody serves yet.
// Everything is readable by all (the web server's workers run as another
// user), whatever the umask.
class Site {
 public:
  explicit Site(fs::path root) : root_(std::move(root)) {}
  const fs::path& root() const { return root_; }

  void folder(const fs::path& relative) {
    fs::path at = root_;
    for (const fs::path& part : relative) {
      at /= part;
      std::error_code ec;
      if (fs::is_directory(fs::symlink_status(at, ec))) continue;
      if (!fs::create_directory(at, ec) || ec) fail("cannot make the folder", at, ec);
      fs::permissions(at, kFolder, ec);
    }
  }

  void put(const fs::path& relative, std::string_view bytes) {
    folder(relative.parent_path());
    const fs::path at = root_ / relative;
    std::ofstream out(at, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) fail("cannot write", at, std::make_error_code(std::errc::io_error));
    out.close();
    std::error_code ec;
    fs::permissions(at, kFile, ec);
    ++files_;
  }

  void copy(const fs::path& from, const fs::path& relative) {
    folder(relative.parent_path());
    const fs::path at = root_ / relative;
    std::error_code ec;
    fs::copy_file(from, at, ec);
    if (ec) fail("cannot copy " + from.string() + " to", at, ec);
    fs::permissions(at, kFile, ec);
    ++files_;
  }

  // A relative symbolic link, so that the folder may be moved or copied
  // (rsync -l) as a whole.
  void link(const fs::path& relative, const fs::path& target) {
    folder(relative.parent_path());
    const fs::path at = root_ / relative;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(at, ec))) return;  // the same bytes under another name
    fs::create_symlink(target, at, ec);
    if (ec) fail("cannot make the link", at, ec);
  }

  std::size_t files() const { return files_; }

  [[noreturn]] static void fail(const std::string& what, const fs::path& at, std::error_code ec) {
    throw ExportError(what + " " + at.string() + ": " + ec.message());
  }

 private:
  fs::path root_;
  std::size_t files_ = 0;
};

// What /box/lib/wen.txt answers, as the running server has it.
std::string version_file(const Options& o) {
  if (o.version_text) return *o.version_text;
  VersionFields fields = o.version_fields;
  if (!o.newest_given && !o.release.empty()) {
    std::ifstream in(fs::path(o.release) / tav::update::kServerManifest, std::ios::binary);
    std::string bytes(tav::update::kMaxManifestBytes + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (const auto m = tav::update::parse_manifest(bytes)) fields.newest = m->version;
  }
  return version_text(fields);
}

fs::path executable_folder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : exe.parent_path();
}

// Every regular file directly inside the media folder, as /media/ serves
// them; returns how many.
std::size_t export_media(Site& site, const MediaFolder& source) {
  std::error_code ec;
  std::set<std::string> names;
  for (fs::directory_iterator it(source.dir(), ec), end; !ec && it != end; it.increment(ec))
    names.insert(it->path().filename().string());
  site.folder("media");
  std::size_t n = 0;
  for (const std::string& name : names) {
    if (const std::optional<MediaFile> file = source.find(name)) {
      site.copy(file->path, fs::path("media") / name);
      ++n;
    }
  }
  return n;
}

// The episode replies of h.asp, and the seeds of the qvod episodes'
// files.
void export_episodes(Site& site, const Catalogue& catalogue, const MediaFolder& media,
                     const std::string& origin) {
  site.folder("seed");
  for (const Series& s : catalogue.series) {
    const fs::path folder = fs::path("box/h") / std::to_string(s.id);
    if (s.pending) {
      site.put(folder / "all.txt", "0");
      continue;
    }
    for (std::size_t i = 0; i < s.episodes.size(); ++i) {
      const Episode& ep = s.episodes[i];
      const std::optional<MediaFile> file = media.find(ep.file);
      std::string reply = "0";  // the media file is not there
      if (file) {
        std::string hash;
        if (ep.kind == "qvod") {
          hash = media.content_hash(*file);
          if (hash.empty()) throw ExportError("cannot read " + file->path.string());
          for (const std::string& name : {hash, tav::ascii_lower(hash)})
            site.link(fs::path("seed") / name, fs::path("../media") / ep.file);
        }
        reply = episode_reply(ep, file->size, hash, origin);
      }
      site.put(folder / (std::to_string(i) + ".txt"), reply);
    }
  }
  site.put("box/h/none.txt", "1");
}

// pp.htm for every episode the page may mark as playing and every episode
// it may name as last watched (or none of either).
void export_episode_pages(Site& site, const Catalogue& catalogue) {
  for (const Series& s : catalogue.series) {
    const std::size_t n = s.episodes.size();
    const fs::path folder = fs::path("box/pp") / std::to_string(s.id);
    for (std::size_t playing = 0; playing <= n; ++playing) {
      for (std::size_t last = 0; last <= n; ++last) {
        EpisodePageQuery query;
        query.series = s.id;
        query.v = 1;
        query.v1 = static_cast<std::int64_t>(playing);  // n: none of them
        query.name = s.name;
        query.last = last < n ? "1" + std::to_string(last) : "0";
        bool found = false;
        const std::string page = episode_page(catalogue, query, found);
        const std::string name = "e" + (playing < n ? std::to_string(playing) : "") + "-l" +
                                 (last < n ? std::to_string(last) : "") + ".html";
        site.put(folder / name, page);
      }
    }
  }
  EpisodePageQuery unknown;
  unknown.series = std::int64_t{1} << 40;  // no series has that number
  unknown.last = "0";
  bool found = true;
  site.put("box/pp/none.html", episode_page(catalogue, unknown, found));
}

void export_updates(Site& site, const Options& o) {
  site.folder("box/update");
  bool updater = false;
  if (!o.release.empty()) {
    std::error_code ec;
    std::set<std::string> names;
    for (fs::directory_iterator it(o.release, ec), end; !ec && it != end; it.increment(ec))
      names.insert(it->path().filename().string());
    for (const std::string& name : names) {
      const bool archive = name.size() > 4 && name.compare(name.size() - 4, 4, ".tvr") == 0;
      if (!is_plain_file_name(name) ||
          !(archive || name == tav::update::kServerManifest || name == "update.exe"))
        continue;
      const fs::path from = fs::path(o.release) / name;
      if (!fs::is_regular_file(from, ec)) continue;
      site.copy(from, fs::path("box/update") / name);
      updater |= name == "update.exe";
    }
  }
  if (updater) return;
  std::error_code ec;
  const fs::path beside = executable_folder() / "update.exe";
  if (fs::is_regular_file(beside, ec)) {
    site.copy(beside, "box/update/update.exe");
  } else {
    // The running server's placeholder download.
    site.put("box/update/update.exe",
             std::string("MZ\x90\0\x03\0\0\0", 8) + "Tavori demo updater placeholder\r\n");
  }
}

void export_pages(Site& site, const Catalogue& catalogue, const MediaFolder& media) {
  site.put("box/index.html", library_page(catalogue));
  site.put("box/yy.html", hot_page(catalogue, media));
  site.put("box/tv.html", tv_page(catalogue, media));
  site.put("box/play.htm", player_page());
  for (const char* which : {"qvodad", "fudong", "tui"})
    site.put(fs::path("box/js/ads") / (std::string(which) + ".html"), ad_page(which, catalogue, media));
  site.put("player/index.html", suite_page());
  // The error pages, with the running server's texts for each place.
  const struct {
    const char* name;
    int status;
    const char* message;
  } errors[] = {
      {"400", 400, "请求有误"},          {"404", 404, "页面不存在"},
      {"pp-400", 400, "剧集地址有误"},   {"media-403", 403, "不允许访问该文件"},
      {"file-404", 404, "文件不存在"},   {"seed-400", 400, "片源标识有误"},
      {"seed-404", 404, "片源不存在"},
  };
  for (const auto& e : errors)
    site.put(fs::path("errors") / (std::string(e.name) + ".html"), error_page(e.status, e.message));
}

bool empty_folder(const fs::path& dir) {
  std::error_code ec;
  return fs::directory_iterator(dir, ec) == fs::directory_iterator() && !ec;
}

// Puts the new site in place of dir: swapped in one step where the file
// system can (the old one then goes), else the old one moved aside first.
void put_in_place(const fs::path& staged, const fs::path& dir) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(dir, ec))) {
    fs::rename(staged, dir, ec);
    if (ec) Site::fail("cannot rename " + staged.string() + " to", dir, ec);
    return;
  }
  if (::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, dir.c_str(), RENAME_EXCHANGE) == 0) {
    fs::remove_all(staged, ec);
    return;
  }
  const fs::path old = dir.parent_path() / ("." + dir.filename().string() + ".old-" + std::to_string(::getpid()));
  fs::rename(dir, old, ec);
  if (ec) Site::fail("cannot move aside", dir, ec);
  fs::rename(staged, dir, ec);
  if (ec) {
    std::error_code back;
    fs::rename(old, dir, back);
    Site::fail("cannot rename " + staged.string() + " to", dir, ec);
  }
  fs::remove_all(old, ec);
}

}  // namespace

bool export_site(const Options& o, const Catalogue& catalogue, std::string& message) {
  std::error_code ec;
  fs::path dir = fs::absolute(o.export_dir, ec).lexically_normal();
  if (dir.has_parent_path() && dir.filename().empty()) dir = dir.parent_path();
  if (ec || dir == dir.root_path()) {
    message = "cannot export into " + o.export_dir;
    return false;
  }
  // Only a folder that holds nothing, or an earlier export, is replaced.
  const fs::file_status status = fs::symlink_status(dir, ec);
  if (fs::exists(status)) {
    if (fs::is_symlink(status) || !fs::is_directory(status)) {
      message = dir.string() + " is not a folder (a symbolic link is not followed): nothing exported";
      return false;
    }
    if (!empty_folder(dir) && !fs::is_regular_file(dir / kExportMarker, ec)) {
      message = dir.string() + " holds files that no export made: nothing exported";
      return false;
    }
  }
  const fs::path staged = dir.parent_path() / ("." + dir.filename().string() + ".new-" + std::to_string(::getpid()));
  fs::remove_all(staged, ec);
  if (!fs::create_directory(staged, ec) || ec) {
    message = "cannot make " + staged.string() + ": " + ec.message();
    return false;
  }
  fs::permissions(staged, kFolder, ec);

  try {
    Site site(staged);
    const std::size_t media_files = export_media(site, MediaFolder(o.media));
    // From here on the copies are the media: what is exported is what is served.
    const MediaFolder media(staged / "media");
    const std::string origin = web_origin(o);
    export_episodes(site, catalogue, media, origin);
    export_episode_pages(site, catalogue);
    export_pages(site, catalogue, media);
    site.put("box/lib/wen.txt", version_file(o));
    export_updates(site, o);
    site.put(kExportMarker, "Made by tavori-server --export; replaced whole by the next export.\n"
                            "origin " + origin + "\n");
    std::size_t episodes = 0, present = 0;
    for (const Series& s : catalogue.series)
      for (const Episode& e : s.episodes) {
        ++episodes;
        present += media.find(e.file).has_value();
      }
    put_in_place(staged, dir);
    message = "exported " + std::to_string(catalogue.series.size()) + " series (" +
              std::to_string(present) + " of " + std::to_string(episodes) + " episode files, " +
              std::to_string(media_files) + " media files) into " + dir.string() + ", " +
              std::to_string(site.files()) + " files; web films at " + origin + "/media/";
    if (present < episodes)
      message += "\nepisodes without their media file answer \"0\"; run make_media.sh " + o.media +
                 " and export again";
    return true;
  } catch (const std::exception& e) {
    fs::remove_all(staged, ec);
    message = std::string(e.what()) + ": nothing exported";
    return false;
  }
}

}  // namespace tsrv
