// The session-file layer: decrypts a Pro Tools session file and reads the few facts the driver
// needs before the program's own readers take over the decrypted bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PtfAudioFile {
    std::string name;
    std::uint64_t length = 0;  // samples
};

// The library-side lists the session walk falls back on. This layer never fills them.
struct PtfMidiNote {
    std::uint64_t position = 0;
    std::uint64_t length = 0;
    std::uint8_t note = 0;
    std::uint8_t velocity = 0;
};

struct PtfRegion {
    std::string name;
    std::uint32_t index = 0;
    std::int64_t start = 0;
    std::int64_t source_offset = 0;
    std::int64_t length = 0;
    std::string audio_file_name;
    std::uint16_t audio_file_index = 0;
    std::vector<PtfMidiNote> midi_notes;
};

struct PtfTrack {
    std::string name;
    std::uint16_t index = 0;
    std::uint8_t playlist = 0;
    PtfRegion region;
};

// Applies the session cipher in place, choosing the scheme by byte 0x12 and the key by byte
// 0x13; bytes 0x00 to 0x13 are left as they are. The cipher is its own inverse, so the same call
// decrypts a session file and encrypts a decrypted buffer. False (bytes untouched) when the
// buffer is shorter than 20 bytes or names an unknown scheme.
bool ptf_xor_crypt(std::vector<std::uint8_t>& bytes);

class PTFFormat {
  public:
    // Lets `load` accept versions outside 5 to 12; never cleared once set.
    static bool allow_unknown_version;

    // 0 loaded; -1 cannot be read or decrypted; -2 no version marker; -3 unknown version;
    // -4 missing or unsupported sample rate (the rate read stays readable), or a big-endian
    // session.
    int load(const std::string& path, std::int64_t target_rate);
    // As `load`, from the file's bytes as stored (still encrypted) instead of a path.
    int load_from_memory(std::vector<std::uint8_t> file_bytes, std::int64_t target_rate);
    // Decrypts only, and reads the version number: 0 when decrypted, -1 when not.
    int unxor(const std::string& path);

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::uint64_t length() const { return bytes_.size(); }
    std::int64_t sample_rate() const { return sample_rate_; }
    int version() const { return version_; }
    std::int64_t target_rate() const { return target_rate_; }
    const std::vector<PtfAudioFile>& audio_files() const { return audio_files_; }

    const std::vector<PtfRegion>& regions() const { return regions_; }
    const std::vector<PtfTrack>& tracks() const { return tracks_; }
    const std::vector<PtfTrack>& midi_tracks() const { return midi_tracks_; }

  private:
    // Empties everything read.
    void clear_read();
    // Empties everything read, then decrypts the file's bytes into bytes_.
    bool decrypt(std::vector<std::uint8_t> file_bytes);
    // Empties everything read, then reads and decrypts the file into bytes_.
    bool read_and_decrypt(const std::string& path);
    // Reads the version, byte order, sample rate and audio files of the decrypted bytes_.
    int read_decrypted();

    std::vector<std::uint8_t> bytes_;
    std::int64_t sample_rate_ = 0;
    int version_ = 0;
    std::int64_t target_rate_ = 0;
    std::vector<PtfAudioFile> audio_files_;
    std::vector<PtfRegion> regions_;
    std::vector<PtfTrack> tracks_;
    std::vector<PtfTrack> midi_tracks_;
};
