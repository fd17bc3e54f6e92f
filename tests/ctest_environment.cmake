# Read by ctest before any test runs: what every test process inherits. The network tool's STUN
# servers point at a loopback port where nothing listens, so no test ever asks a public server.
set(ENV{CORVINA_STUN_SERVERS} "127.0.0.1:9")
