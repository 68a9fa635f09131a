"""The page in headless Chromium, served by `vorpalyx serve`: typing a
phrase, the count and first result, paging, pinning a word, two
constraints, and words shown as text; screenshots go to the test's folder."""

from __future__ import annotations

import os
import shutil

import pytest

pytest.importorskip("uvicorn")
webdriver = pytest.importorskip("selenium.webdriver")
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402
from serving import running_server  # noqa: E402

from vorpalyx import Lexicon  # noqa: E402
from vorpalyx.server import capabilities  # noqa: E402

CHROMIUM = shutil.which("chromium")
CHROMEDRIVER = shutil.which("chromedriver")
PHRASE = "clint eastwood"
PAGE = 20


@pytest.fixture(scope="module")
def browser():
    if CHROMIUM is None or CHROMEDRIVER is None:
        pytest.skip("headless Chromium is not installed "
                    "(apt-get install chromium chromium-driver)")
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage", "--window-size=412,915"):
        options.add_argument(argument)
    # Under the sanitizer stage the interpreter runs with the sanitizer
    # runtime preloaded, which the browser must not inherit.
    environment = {name: value for name, value in os.environ.items()
                   if name not in ("LD_PRELOAD", "ASAN_OPTIONS", "PYTHONMALLOC")}
    driver = webdriver.Chrome(
        options=options, service=Service(CHROMEDRIVER, env=environment))
    try:
        yield driver
    finally:
        driver.quit()


def remaining_letters(phrase: str, word: str) -> str:
    letters = [letter for letter in phrase if letter.isalpha()]
    for letter in word:
        letters.remove(letter)
    return "".join(letters)


def shown(driver) -> tuple[str | None, list[list[str]]]:
    """The total and the rows on show, read at one moment."""
    total, rows = driver.execute_script(
        "return [document.getElementById('summary').dataset.total ?? null,"
        " [...document.querySelectorAll('#results li')].map((item) =>"
        " [...item.querySelectorAll('.word')].map((word) => word.textContent))];")
    return total, rows


def wait_for(driver, condition, what: str):
    return WebDriverWait(driver, 15, poll_frequency=0.05).until(
        lambda _: condition(), message=what)


def test_the_page_in_a_browser(browser, tmp_path):
    lexicon = Lexicon.english()
    ranked = capabilities.can_rank()
    expected = lexicon.search(PHRASE, order="score") if ranked else lexicon.search(PHRASE)
    with running_server("--port", "0") as (_, address):
        browser.get(address)
        phrase = browser.find_element(By.ID, "phrase")
        for letter in PHRASE:
            phrase.send_keys(letter)
        summary = browser.find_element(By.ID, "summary")
        wait_for(browser, lambda: summary.get_attribute("data-phrase") == PHRASE
                 and summary.get_attribute("data-total"), "results for the phrase")
        total, rows = shown(browser)
        assert int(total) == len(expected) == lexicon.count(PHRASE)
        assert summary.text.startswith(f"{len(expected):,} solutions · ")
        assert rows == list(expected[:PAGE])
        browser.save_screenshot(str(tmp_path / "results.png"))

        browser.execute_cdp_cmd("Browser.grantPermissions", {
            "origin": address.rstrip("/"),
            "permissions": ["clipboardReadWrite", "clipboardSanitizedWrite"]})
        browser.find_element(By.CSS_SELECTOR, "#results li:nth-child(2) .copy").click()
        assert browser.execute_async_script(
            "navigator.clipboard.readText().then(arguments[0]);") == " ".join(rows[1])

        browser.find_element(By.ID, "next").click()
        wait_for(browser, lambda: shown(browser)[1] == list(expected[PAGE:2 * PAGE]),
                 "the second page")
        assert browser.find_element(By.ID, "page-range").text == (
            f"{PAGE + 1}–{2 * PAGE} of {len(expected):,}")

        pinned = expected[PAGE][0]
        browser.find_elements(By.CSS_SELECTOR, "#results .word")[0].click()
        remaining = browser.find_element(By.ID, "remaining")
        wait_for(browser, lambda: remaining.text == remaining_letters(PHRASE, pinned),
                 "the remaining letters")
        if "include" in capabilities.accepted_constraints():
            with_pin = lexicon.search(PHRASE, include=[pinned])
        else:
            with_pin = [[pinned, *words] for words in lexicon.search(remaining.text)]
        wait_for(browser, lambda: shown(browser) == (
            str(len(with_pin)), list(with_pin[:PAGE])), "the results holding the pin")

        browser.find_element(By.CSS_SELECTOR, "#pinned .chip").click()
        browser.find_element(By.CSS_SELECTOR, "#constraints-panel summary").click()
        browser.find_element(By.ID, "constraint-max_words").send_keys("2")
        browser.find_element(By.ID, "constraint-contains_patterns").send_keys("cow")
        narrowed = lexicon.search(PHRASE, max_words=2, contains_patterns=["cow"])
        assert 0 < len(narrowed) < PAGE
        wait_for(browser, lambda: shown(browser) == (str(len(narrowed)), list(narrowed)),
                 "the results of both constraints")
        assert not browser.find_element(By.ID, "pins").is_displayed()
        browser.save_screenshot(str(tmp_path / "constraints.png"))

        # An answer to an earlier request never replaces the one on show.
        browser.execute_script(
            "show(page.latest - 1, 'clint eastwoo', {total: 5, offset: 0,"
            " partial: false, solutions: [['stale']]})")
        assert shown(browser) == (str(len(narrowed)), list(narrowed))

        # Whatever a word holds is shown as text, never run or parsed.
        browser.execute_script(
            "show(page.latest, 'x', {total: 1, offset: 0, partial: false,"
            " solutions: [['<img src=x onerror=\"window.ran=1\">', '<script>']]})")
        assert shown(browser)[1] == [['<img src=x onerror="window.ran=1">', "<script>"]]
        assert browser.find_elements(By.CSS_SELECTOR, "#results img, #results script") == []
        assert browser.execute_script("return window.ran") is None
