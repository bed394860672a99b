// Ed25519 signatures and SHA-256 over libsodium, for releases.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tav::update {

// sodium_init(); false when libsodium cannot start.
bool crypto_ready();

std::string to_hex(const unsigned char* bytes, std::size_t n);
// false unless text is exactly 2*n lower- or upper-case hex digits.
bool from_hex(std::string_view text, unsigned char* out, std::size_t n);

// A fresh key pair: 64-byte secret key and 32-byte public key, as hex.
void make_key_pair(std::string& secret_hex, std::string& public_hex);
// The signature of text, 128 hex digits; "" with a bad key.
std::string sign_text(std::string_view text, std::string_view secret_hex);
// True when signature_hex is a valid signature of text under public_key
// (32 bytes).
bool verify_text(std::string_view text, std::string_view signature_hex,
                 const unsigned char* public_key);

// SHA-256 computed in pieces.
class Sha256 {
 public:
  Sha256();
  void add(const void* data, std::size_t n);
  std::string hex();  // ends the computation

 private:
  alignas(64) unsigned char state_[256];
};

std::string sha256_hex(std::string_view bytes);
// "" when the file cannot be read.
std::string sha256_file(const std::string& path, std::uint64_t* size = nullptr);

}  // namespace tav::update
