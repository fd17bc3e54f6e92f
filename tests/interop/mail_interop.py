#!/usr/bin/python3
"""The `corvina mail` client against aiosmtpd on loopback: the message parses back to what was
sent, AUTH LOGIN in clear, STARTTLS with a CA made here (AUTH inside TLS), and a certificate for
another name (refused before any AUTH), msmtp as the local mail system, and direct delivery (one
connection per recipient) inside a private network namespace. Usage: mail_interop.py CORVINA_BINARY"""
import email, email.policy, logging, os, shutil, socket, ssl, subprocess, sys, tempfile, warnings
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

logging.getLogger("mail.log").setLevel(logging.CRITICAL)  # the refused handshake is expected
warnings.simplefilter("ignore", DeprecationWarning)
corvina, tmp = sys.argv[1], tempfile.mkdtemp(prefix="corvina-mail-")
env = dict(os.environ, CORVINA_HOME=tmp, SSL_CERT_FILE=f"{tmp}/ca.pem", CORVINA_LOCAL_ADDRESS="127.0.0.1")

def run(*args, ok=True):
    p = subprocess.run([corvina, *args], env=env, capture_output=True, text=True, timeout=60)
    assert (p.returncode == 0) == ok, (args, p.returncode, p.stdout, p.stderr)
    return p

def openssl(*args):
    subprocess.run(["openssl", *args], check=True, capture_output=True, cwd=tmp, timeout=60)

class Recorder:
    def __init__(self):
        self.messages, self.auths = [], []
    async def handle_DATA(self, server, session, envelope):
        self.messages.append((envelope.mail_from, envelope.rcpt_tos, envelope.content))
        return "250 OK"
    def __call__(self, server, session, envelope, mechanism, auth_data):
        self.auths.append((mechanism, auth_data.login, auth_data.password, session.ssl is not None))
        ok = isinstance(auth_data, LoginPassword) and auth_data.password == b"s3cr\xc3\xa9t:x"
        return AuthResult(success=ok)

def serve(cert=None, port=0):
    rec = Recorder()
    tls = None
    if cert:
        tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls.load_cert_chain(f"{tmp}/{cert}.pem", f"{tmp}/{cert}.key")
    with socket.socket() as probe:  # a free loopback port, unless one is asked for
        probe.bind(("127.0.0.1", port))
        port = probe.getsockname()[1]
    c = Controller(rec, hostname="127.0.0.1", port=port, authenticator=rec, auth_require_tls=bool(cert),
                   tls_context=tls)
    c.start()
    return c, rec

wav = f"{tmp}/take 1.wav"
with open(wav, "wb") as f:
    f.write(b"RIFF" + bytes(range(256)) * 40)
body = "first\n.\n..two\nbare lf\nend"
subject = "Grüße from the phone — " + "ü" * 30

def send(port, user="", ok=True, to="a@x.example, b@y.example", reply_to="me@example.org", store="0"):
    for key, value in (("UseMAPI", store), ("MailSMTPHost", f"127.0.0.1:{port}" if port else ""), ("SMTPAuthOn", "1" if user else "0"),
                       ("SMTPUserName", user), ("SMTPPassword", "s3cré" + "t:x"), ("SendDirect", "0"),
                       ("ReplyToEmail", reply_to)):
        run("reg", "set", "Email", key, value)
    with open(f"{tmp}/body.txt", "w") as f:
        f.write(body)
    return run("mail", "send", "--to", to, "--subject", subject, "--body-file",
               f"{tmp}/body.txt", "--attach", wav, ok=ok)

if sys.argv[2:] == ["direct"]:
    # Inside a network namespace of our own, where port 25 on loopback is free: no mail host, so
    # each recipient's domain gets its own connection, and the sender names that domain.
    c, rec = serve(port=25)
    send(None, to="a@127.0.0.1, b@localhost", reply_to="")
    c.stop()
    assert [m[:2] for m in rec.messages] == [("Corvina@127.0.0.1", ["a@127.0.0.1"]),
                                             ("Corvina@localhost", ["b@localhost"])], rec.messages
    shutil.rmtree(tmp)
    sys.exit(0)

openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
        "-subj", "/CN=Test CA")
for name, san in (("good", "IP:127.0.0.1"), ("other", "DNS:other.example")):
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out", f"{name}.csr", "-subj",
            f"/CN={name}")
    with open(f"{tmp}/{name}.ext", "w") as f:
        f.write(f"subjectAltName={san}\n")
    openssl("x509", "-req", "-in", f"{name}.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial", "-out",
            f"{name}.pem", "-days", "2", "-extfile", f"{name}.ext")

def check(content):
    msg = email.message_from_bytes(content, policy=email.policy.default)
    assert msg["Subject"] == subject and msg["X-Mailer"] == "Tessaly Corvina 4.01", msg["Subject"]
    text, attachment = [p for p in msg.iter_parts()]
    assert text.get_content().replace("\r\n", "\n") == body, repr(text.get_content())
    assert attachment.get_filename() == "take 1.wav" and attachment.get_content_type() == "audio/wav"
    assert attachment.get_content() == open(wav, "rb").read()

# 1. The message, parsed by Python's email package, equals what was sent.
c, rec = serve()
send(c.port)
c.stop()
assert rec.messages[0][:2] == ("me@example.org", ["a@x.example", "b@y.example"]), rec.messages
check(rec.messages[0][2])

# 2. AUTH LOGIN in clear, with a server that offers no STARTTLS.
c, rec = serve()
send(c.port, user="ann")
c.stop()
assert rec.auths == [("LOGIN", b"ann", b"s3cr\xc3\xa9t:x", False)] and len(rec.messages) == 1, rec.auths

# 3. STARTTLS: the certificate checks out against the CA, AUTH goes inside TLS, delivered.
c, rec = serve("good")
send(c.port, user="ann")
c.stop()
assert rec.auths == [("LOGIN", b"ann", b"s3cr\xc3\xa9t:x", True)] and len(rec.messages) == 1, rec.auths

# 4. A certificate for another name: refused, and the server never saw AUTH or the message.
c, rec = serve("other")
p = send(c.port, user="ann", ok=False)
c.stop()
assert p.returncode == 2 and "certificate" in p.stderr and not rec.auths and not rec.messages, p.stderr
# 5. Through msmtp as the local mail system, configured for the server.
c, rec = serve()
with open(f"{tmp}/.msmtprc", "w") as f:
    f.write(f"account default\nhost 127.0.0.1\nport {c.port}\nfrom me@example.org\nauth off\ntls off\n")
os.chmod(f"{tmp}/.msmtprc", 0o600)
env.update(HOME=tmp, CORVINA_SENDMAIL="/usr/bin/msmtp")
send(None, store="1")
c.stop()
assert len(rec.messages) == 1, rec.messages
check(rec.messages[0][2])

# 6. Direct delivery, in a private network namespace.
subprocess.run(["unshare", "-rn", "sh", "-c", f"ip link set lo up && exec /usr/bin/python3 {sys.argv[0]} "
                f"{corvina} direct"], check=True, timeout=120)
shutil.rmtree(tmp)
print("mail interop: all passed")
