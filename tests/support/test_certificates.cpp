#include "support/test_certificates.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vellumark::testing {

namespace {

constexpr const char* kScript = R"(set -e
EC="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
CA_EXT="-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign"
openssl req -x509 $EC -keyout ca.key -out ca.pem -days 3650 -subj "/CN=Vellumark Test CA" $CA_EXT
openssl req -x509 $EC -keyout rogue-ca.key -out rogue-ca.pem -days 3650 -subj "/CN=Rogue CA" $CA_EXT
openssl req $EC -keyout server.key -out localhost.csr -subj "/CN=localhost"
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > localhost.ext
printf 'subjectAltName=DNS:other.example\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > other.ext
openssl x509 -req -in localhost.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 -extfile localhost.ext -out localhost.pem
openssl x509 -req -in localhost.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 -extfile other.ext -out other.pem
openssl x509 -req -in localhost.csr -CA rogue-ca.pem -CAkey rogue-ca.key -CAcreateserial -days 30 -extfile localhost.ext -out untrusted.pem
: > index.txt
echo 01 > serial
cat > ca.cnf <<'CNF'
[ca]
default_ca = tca
[tca]
dir = .
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = pol
unique_subject = no
[pol]
commonName = supplied
[ext]
subjectAltName = DNS:localhost
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
CNF
openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in localhost.csr -out expired.pem -startdate 20200101000000Z -enddate 20200201000000Z -extensions ext -notext
)";

// Removes the folder when the test process ends.
struct Folder {
  std::string path;
  ~Folder() {
    if (!path.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  }
};

}  // namespace

bool MakeTestCertificates(TestCertificates* out, std::string* log) {
  static Folder folder;
  static TestCertificates made;
  static bool ok = false;
  static std::string made_log;
  static bool tried = false;
  if (!tried) {
    tried = true;
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vm_tls_XXXXXX";
    if (::mkdtemp(templ.data()) != nullptr) {
      made.dir = templ + "/";
      folder.path = templ;
      std::ofstream(made.dir + "make.sh") << kScript;
      const std::string command = "cd '" + made.dir + "' && sh make.sh > make.log 2>&1";
      ok = std::system(command.c_str()) == 0;
      std::ifstream in(made.dir + "make.log");
      std::stringstream text;
      text << in.rdbuf();
      made_log = text.str();
      made.ca = made.dir + "ca.pem";
      made.key = made.dir + "server.key";
      made.localhost = made.dir + "localhost.pem";
      made.other_host = made.dir + "other.pem";
      made.expired = made.dir + "expired.pem";
      made.untrusted = made.dir + "untrusted.pem";
    } else {
      made_log = "mkdtemp failed";
    }
  }
  *out = made;
  if (log) *log = made_log;
  return ok;
}

}  // namespace vellumark::testing
