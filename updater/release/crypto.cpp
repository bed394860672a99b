#include "release/crypto.h"

#include <sodium.h>

#include <cstdio>
#include <memory>

namespace tav::update {

static_assert(sizeof(crypto_hash_sha256_state) <= 256, "Sha256 keeps the state inline");

namespace {
crypto_hash_sha256_state* state(unsigned char* raw) {
  return reinterpret_cast<crypto_hash_sha256_state*>(raw);
}
}  // namespace

bool crypto_ready() {
  static const bool ok = sodium_init() >= 0;
  return ok;
}

std::string to_hex(const unsigned char* bytes, std::size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(n * 2);
  for (std::size_t i = 0; i < n; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

bool from_hex(std::string_view text, unsigned char* out, std::size_t n) {
  if (text.size() != n * 2) return false;
  auto value = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < n; ++i) {
    const int hi = value(text[2 * i]), lo = value(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<unsigned char>(hi * 16 + lo);
  }
  return true;
}

void make_key_pair(std::string& secret_hex, std::string& public_hex) {
  crypto_ready();
  unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
  crypto_sign_keypair(pk, sk);
  secret_hex = to_hex(sk, sizeof sk);
  public_hex = to_hex(pk, sizeof pk);
  sodium_memzero(sk, sizeof sk);
}

std::string sign_text(std::string_view text, std::string_view secret_hex) {
  crypto_ready();
  unsigned char sk[crypto_sign_SECRETKEYBYTES];
  if (!from_hex(secret_hex, sk, sizeof sk)) return {};
  unsigned char sig[crypto_sign_BYTES];
  crypto_sign_detached(sig, nullptr, reinterpret_cast<const unsigned char*>(text.data()), text.size(), sk);
  sodium_memzero(sk, sizeof sk);
  return to_hex(sig, sizeof sig);
}

bool verify_text(std::string_view text, std::string_view signature_hex, const unsigned char* public_key) {
  if (!crypto_ready()) return false;
  unsigned char sig[crypto_sign_BYTES];
  if (!from_hex(signature_hex, sig, sizeof sig)) return false;
  return crypto_sign_verify_detached(sig, reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                                     public_key) == 0;
}

Sha256::Sha256() {
  crypto_ready();
  crypto_hash_sha256_init(state(state_));
}

void Sha256::add(const void* data, std::size_t n) {
  crypto_hash_sha256_update(state(state_), static_cast<const unsigned char*>(data), n);
}

std::string Sha256::hex() {
  unsigned char out[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(state(state_), out);
  return to_hex(out, sizeof out);
}

std::string sha256_hex(std::string_view bytes) {
  Sha256 h;
  h.add(bytes.data(), bytes.size());
  return h.hex();
}

std::string sha256_file(const std::string& path, std::uint64_t* size) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!in) return {};
  Sha256 h;
  std::uint64_t total = 0;
  char buf[1 << 16];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, in.get())) > 0) {
    h.add(buf, n);
    total += n;
  }
  if (std::ferror(in.get())) return {};
  if (size) *size = total;
  return h.hex();
}

}  // namespace tav::update
