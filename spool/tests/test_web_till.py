# SPDX-License-Identifier: MIT
"""The example web till in headless Chromium, served from other loopback
origins than the service's: it pairs, prints a receipt and a kitchen order
on two virtual printers, shows the kitchen's job held while that printer is
out of paper and then printed; pages from an origin not allowed, without a
token or with a revoked one cannot print, and no page reads another origin's
jobs."""

import functools
import http.server
import json
import os
import re
import threading
import unittest

from support import Printer, Spool, loopback_address, wait_for

HERE = os.path.dirname(os.path.abspath(__file__))
TILL_DIR = os.path.join(HERE, "..", "..", "examples", "web-till")
ANY_ORIGIN_TOKEN = "preset-token-other-till-0001"

try:
    from selenium import webdriver
    from selenium.webdriver.common.by import By
except ImportError:  # pragma: no cover
    webdriver = None


class Site:
    """The till's files on a loopback address of its own: another origin."""

    def __init__(self):
        handler = functools.partial(Quiet, directory=TILL_DIR)
        self.server = http.server.ThreadingHTTPServer((loopback_address(), 0), handler)
        self.origin = "http://%s:%d" % self.server.server_address
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


FETCH = """
const [url, options, done] = arguments;
fetch(url, options).then(async (r) => done({status: r.status, body: await r.text()}),
                         (e) => done({status: 0, body: String(e)}));
"""


@unittest.skipIf(webdriver is None, "needs python3-selenium, chromium and chromium-driver")
class WebTill(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.till, cls.other, cls.foreign = Site(), Site(), Site()
        cls.counter, cls.kitchen = Printer("--speed", "0"), Printer("--speed", "0")
        cls.spool = Spool(ready=False)
        config = os.path.join(cls.spool.dir, "spool.json")
        with open(config, "w") as f:
            json.dump({"allowed_origins": [cls.till.origin, cls.other.origin],
                       "tokens": [{"name": "other till", "token": ANY_ORIGIN_TOKEN}]}, f)
        cls.spool.args = ["--config", config,
                          "--printer", "counter=tcp:%s:9100" % cls.counter.ip,
                          "--printer", "kitchen=tcp:%s:9100" % cls.kitchen.ip]
        cls.spool.start()
        cls.service = "http://%s:%d" % (cls.spool.ip, cls.spool.port)
        options = webdriver.ChromeOptions()
        for a in ("--headless=new", "--no-sandbox", "--disable-gpu"):
            options.add_argument(a)
        cls.driver = webdriver.Chrome(options=options)
        cls.driver.set_script_timeout(10)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.spool.stop()
        for s in (cls.counter, cls.kitchen):
            s.stop()
        for s in (cls.till, cls.other, cls.foreign):
            s.stop()

    def open(self, site):
        self.driver.get("%s/index.html?service=%s" % (site.origin, self.service))

    def fetch(self, path, method="GET", token=None, body=None):
        headers = {"Authorization": "Bearer " + token} if token else {}
        options = {"method": method, "headers": headers}
        if body is not None:
            options["body"] = body
        return self.driver.execute_async_script(FETCH, self.service + path, options)

    def css(self, selector):
        # Read in one step: the page rewrites its rows as jobs change.
        return self.driver.execute_script(
            "const e = document.querySelector(arguments[0]); return e ? e.textContent : ''",
            selector)

    def wait_text(self, selector, text, timeout=15):
        self.assertTrue(wait_for(lambda: self.css(selector) == text, timeout, 0.1),
                        "%s never showed %r (shows %r; message %r)" % (selector, text, self.css(selector), self.css("#message")))

    def test_till(self):
        d = self.driver
        # Pairing with the code the service's page shows.
        d.get(self.service + "/")
        d.find_element(By.ID, "pair").click()
        self.assertTrue(wait_for(lambda: re.fullmatch(r"\d{6}", self.css("#code")), 10, 0.1))
        code = self.css("#code")
        self.open(self.till)
        self.assertTrue(wait_for(lambda: d.find_element(By.TAG_NAME, "body").get_attribute(
            "data-ready") == "1", 10, 0.1), "the till did not load quorvel.js from the service")
        d.find_element(By.ID, "code").send_keys(code)
        d.find_element(By.ID, "pair").click()
        self.wait_text("#link", "paired")

        # A receipt and a kitchen order; the kitchen is out of paper.
        self.kitchen.set(paper="out")
        for item in ("Espresso", "Espresso", "Pastel de nata"):
            d.find_element(By.CSS_SELECTOR, "[data-item='%s']" % item).click()
        d.find_element(By.ID, "print").click()
        self.wait_text("li[data-printer=counter] .state", "printed")
        self.wait_text("li[data-printer=kitchen] .state", "held")
        self.kitchen.set(paper="ok")
        self.wait_text("li[data-printer=kitchen] .state", "printed")
        # A receipt is listed once its files are on disk, just after it printed.
        counter = [line for r in wait_for(self.counter.texts) for line in r]
        kitchen = [line for r in wait_for(self.kitchen.texts) for line in r]
        self.assertTrue(any("2 x Espresso" in line and "3,00" in line for line in counter), counter)
        self.assertTrue(any("TOTAL" in line and "4,20" in line for line in counter), counter)
        self.assertTrue(any("KITCHEN order" in line for line in kitchen), kitchen)
        job_id = int(d.find_element(By.CSS_SELECTOR, "li[data-printer=counter]").get_attribute("data-job"))

        # Without a token the service answers (to an allowed page) 401.
        self.assertEqual(self.fetch("/api/printers/counter/receipts", "POST", None,
                                    '{"items":[{"text":"x"}]}')["status"], 401)

        # Another allowed origin, with a token of its own, cannot read the till's job.
        self.open(self.other)
        self.assertEqual(self.fetch("/api/jobs/%d" % job_id, token=ANY_ORIGIN_TOKEN)["status"], 404)
        listed = self.fetch("/api/jobs", token=ANY_ORIGIN_TOKEN)
        self.assertEqual(listed["status"], 200)
        self.assertEqual(json.loads(listed["body"])["jobs"], [])

        # A page from an origin not allowed can neither print nor read, even
        # with a good token: the browser gets no CORS answer.
        jobs_before = len(self.spool.json("GET", "/api/jobs")[1]["jobs"])
        self.open(self.foreign)
        for path, method in (("/api/printers/counter/receipts", "POST"), ("/api/jobs", "GET"),
                             ("/api/printers", "GET")):
            got = self.fetch(path, method, ANY_ORIGIN_TOKEN,
                             '{"items":[{"text":"foreign"}]}' if method == "POST" else None)
            self.assertEqual(got["status"], 0, (path, got))
        self.assertEqual(len(self.spool.json("GET", "/api/jobs")[1]["jobs"]), jobs_before)

        # A revoked token (on the service's page): the till cannot print and
        # asks to pair again.
        d.get(self.service + "/")
        self.assertTrue(wait_for(lambda: "web till" in self.css("#tills"), 10, 0.1))
        d.find_element(By.CSS_SELECTOR, "#tills button").click()
        self.assertTrue(wait_for(lambda: not self.spool.json("GET", "/api/tokens")[1]["tokens"], 10))
        self.open(self.till)
        self.assertTrue(wait_for(lambda: d.find_element(By.TAG_NAME, "body").get_attribute(
            "data-ready") == "1", 10, 0.1))
        d.find_element(By.CSS_SELECTOR, "[data-item='Espresso']").click()
        d.find_element(By.ID, "print").click()
        self.assertTrue(wait_for(lambda: "Not printed" in self.css("#message"), 10, 0.1),
                        self.css("#message"))
        self.assertTrue(d.find_element(By.ID, "pairing").is_displayed())
        self.assertEqual(len(self.spool.json("GET", "/api/jobs")[1]["jobs"]), jobs_before)


if __name__ == "__main__":
    unittest.main()
