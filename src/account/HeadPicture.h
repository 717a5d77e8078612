#pragma once
// The user's picture, fetched beside its place and put there only once the
// fetch is known to be wanted: a fetch that ends after a logout or after
// another user's login never replaces the current picture. Until then the
// picture waits in a hidden file of its own next to the picture path (each
// fetch has its own, so a fetch that is let go cannot meddle with a later
// one); the file goes with the object unless it was put in place.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace os {
class Event;
}

class HeadPicture {
  public:
    // A larger picture is refused: the store's pictures are a few kilobytes.
    static constexpr std::uint64_t kSizeCap = 4u * 1024u * 1024u;
    // Connecting, and any silence once connected, may last this long; the
    // whole fetch kOverallLimit.
    static constexpr std::chrono::milliseconds kStallLimit{20000};
    static constexpr std::chrono::milliseconds kOverallLimit{120000};

    // Where the user's picture is kept: "pic_head.jpg" in the per-user data
    // folder.
    static std::string UserPicturePath();

    // Fetches `url` (http or https only) into a new hidden file beside
    // `picturePath`, through the plain file fetch's side file. Null when the
    // address is of another kind, the server does not answer 200 with a
    // length of at most kSizeCap, the transfer breaks or times out, or `stop`
    // is set (before or during the fetch); no file of the attempt is left
    // then, and nothing at `picturePath` changes either way. Blocks its
    // thread; worker thread.
    static std::unique_ptr<HeadPicture> Fetch(const std::string& url, const std::string& picturePath,
                                              const os::Event* stop);

    // Removes the fetched file unless it was put in place. Any thread.
    ~HeadPicture();
    HeadPicture(const HeadPicture&) = delete;
    HeadPicture& operator=(const HeadPicture&) = delete;

    // Renames the fetched file over the picture path. Whatever is at the path
    // is replaced, never written through: a symbolic link planted there is
    // replaced itself, and a folder, device or FIFO is never replaced (false,
    // the fetched file goes with the object). UI thread (any thread).
    bool PutInPlace();

    const std::string& FetchedPath() const { return m_fetchedPath; }

    // Whether the picture at `picturePath` may be shown: a regular file
    // named by the path itself. A symbolic link, FIFO, device or folder put
    // there is never handed to the painter. Any thread.
    static bool IsShowable(const std::string& picturePath);

  private:
    HeadPicture(std::string fetchedPath, std::string picturePath)
        : m_fetchedPath(std::move(fetchedPath)), m_picturePath(std::move(picturePath)) {}

    std::string m_fetchedPath;
    std::string m_picturePath;
    bool m_placed = false;
};
