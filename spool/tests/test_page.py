# SPDX-License-Identifier: MIT
"""The page in headless Chromium: jobs appear per printer and change state
without a reload, Cancel and Reprint work from the page, and the page runs
under its own strict content policy (no console errors)."""

import unittest

from selenium import webdriver
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

from support import Printer, Spool, job_bytes, loopback_address


def chromium():
    o = webdriver.ChromeOptions()
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1200,900"):
        o.add_argument(a)
    o.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(options=o)


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.printer = Printer()
        cls.spool = Spool("--printer", "counter=tcp:%s:9100" % cls.printer.ip,
                          "--printer", "kitchen=tcp:%s:9100" % loopback_address())
        cls.browser = chromium()
        cls.browser.get("http://%s:%d/" % (cls.spool.host, cls.spool.port))
        cls.wait_for("return document.getElementById('link').className === 'up'")
        cls.browser.execute_script("window.sameDocument = true")

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.spool.stop()
        cls.printer.stop()

    @classmethod
    def wait_for(cls, script, timeout=15):
        return WebDriverWait(cls.browser, timeout, poll_frequency=0.05).until(
            lambda d: d.execute_script(script))

    def test_jobs_live_per_printer_with_actions(self):
        printed = self.spool.post("counter", job_bytes("PAGE"))[1]["id"]
        waiting = self.spool.post("kitchen", job_bytes("WAIT"))[1]["id"]
        self.wait_for("const r = document.querySelector('section[data-printer=\"counter\"] "
                      "tr[data-job=\"%d\"] .state'); return r && r.textContent === 'printed'"
                      % printed)
        self.wait_for("const r = document.querySelector('section[data-printer=\"kitchen\"] "
                      "tr[data-job=\"%d\"] .state'); return r && r.textContent === 'retrying'"
                      % waiting)
        # A job list fetched before the last event may be read after it: the
        # row keeps the newer state.
        stale = dict(self.spool.job(printed), state="queued")
        stale["updated"] -= 1
        self.browser.execute_script("showJob(arguments[0])", stale)
        self.assertEqual("printed", self.browser.execute_script(
            "return document.querySelector('tr[data-job=\"%d\"] .state').textContent" % printed))
        self.wait_for("return document.querySelector('section[data-printer=\"kitchen\"] "
                      ".pstate').textContent.startsWith('down')")
        # Cancel from the page.
        self.browser.find_element(
            By.CSS_SELECTOR, 'tr[data-job="%d"] button' % waiting).click()
        self.wait_for("return document.querySelector('tr[data-job=\"%d\"] .state').textContent"
                      " === 'cancelled'" % waiting)
        self.assertEqual("cancelled", self.spool.job(waiting)["state"])
        # Reprint from the page: a new row marked COPY, printed.
        self.browser.find_element(
            By.CSS_SELECTOR, 'tr[data-job="%d"] button' % printed).click()
        self.wait_for("return [...document.querySelectorAll('section[data-printer=\"counter\"] "
                      "tr')].some(r => r.textContent.includes('COPY') && "
                      "r.textContent.includes('printed'))")
        self.assertTrue(self.browser.execute_script("return window.sameDocument"))
        errors = [e for e in self.browser.get_log("browser") if e["level"] == "SEVERE"]
        self.assertEqual([], errors)


if __name__ == "__main__":
    unittest.main()
