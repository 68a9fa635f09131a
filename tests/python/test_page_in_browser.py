"""The page in headless Chromium, served by `vorpalyx serve`: typing a
phrase, the count and first result, paging, pinning and releasing words,
two constraints, blanks, and words shown as text; screenshots go to the
test's folder."""

from __future__ import annotations

import os
import shutil

import pytest

pytest.importorskip("uvicorn")
webdriver = pytest.importorskip("selenium.webdriver")
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402
from serving import running_server  # noqa: E402

from vorpalyx import Lexicon, fold  # noqa: E402
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


def remaining_letters(phrase: str, *words: str) -> str:
    letters = [letter for letter in phrase if letter.isalpha()]
    for letter in "".join(words):
        letters.remove(letter)
    return "".join(letters)


def shown(driver) -> tuple[str | None, list[list[str]]]:
    """The total and the rows on show, read at one moment."""
    total, rows = driver.execute_script(
        "return [document.getElementById('summary').dataset.total ?? null,"
        " [...document.querySelectorAll('#results li')].map((item) =>"
        " [...item.querySelectorAll('.word')].map((word) => word.textContent))];")
    return total, rows


def letters_shown(driver) -> list[str]:
    """What each row on show prints after its words."""
    return driver.execute_script(
        "return [...document.querySelectorAll('#results li')].map((item) =>"
        " item.querySelector('.letters')?.textContent ?? '');")


def click_word(driver, word: str, pinned: bool) -> None:
    kind = ".pinned-word" if pinned else ".word:not(.pinned-word)"
    next(button for button in driver.find_elements(By.CSS_SELECTOR, "#results " + kind)
         if button.text == word).click()


def wait_for(driver, condition, what: str):
    return WebDriverWait(driver, 15, poll_frequency=0.05).until(
        lambda _: condition(), message=what)


def test_the_page_in_a_browser(browser, tmp_path):
    lexicon = Lexicon.english()
    # The page shows the best first when this build ranks.
    order = {"order": "score"} if capabilities.can_rank() else {}
    expected = lexicon.search(PHRASE, **order)
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

        # Pins accumulate in `include`; the remaining letters follow them.
        first = expected[PAGE][0]
        click_word(browser, first, pinned=False)
        remaining = browser.find_element(By.ID, "remaining")
        wait_for(browser, lambda: remaining.text == remaining_letters(PHRASE, first),
                 "the letters the first pin leaves")
        with_one = lexicon.search(PHRASE, include=[first], **order)
        wait_for(browser, lambda: shown(browser) == (
            str(len(with_one)), list(with_one[:PAGE])), "the results holding the pin")
        second = next(word for word in with_one[0] if word != first)
        click_word(browser, second, pinned=False)
        with_two = lexicon.search(PHRASE, include=[first, second], **order)
        assert 0 < len(with_two) < len(with_one)
        wait_for(browser, lambda: shown(browser) == (
            str(len(with_two)), list(with_two[:PAGE])), "the results holding both pins")
        assert remaining.text == remaining_letters(PHRASE, first, second)
        assert [chip.text for chip in browser.find_elements(
            By.CSS_SELECTOR, "#pinned .chip")] == [f"{first} ×", f"{second} ×"]
        browser.save_screenshot(str(tmp_path / "pinned.png"))

        click_word(browser, second, pinned=True)
        wait_for(browser, lambda: shown(browser) == (
            str(len(with_one)), list(with_one[:PAGE])), "the results after an unpin")
        assert remaining.text == remaining_letters(PHRASE, first)
        browser.find_element(By.CSS_SELECTOR, "#pinned .chip").click()

        browser.find_element(By.CSS_SELECTOR, "#constraints-panel summary").click()
        # Four words is what the enumeration implies already; it is there for
        # the page to send as the Lexicon's min_words and max_words.
        browser.find_element(By.ID, "constraint-words").send_keys("4")
        browser.find_element(By.ID, "constraint-lengths").send_keys("2-2-4-5")
        browser.find_element(By.ID, "constraint-distinct").click()
        narrowed = lexicon.search(PHRASE, lengths=[2, 2, 4, 5], distinct=True,
                                  **order)
        assert len(narrowed) < lexicon.count(PHRASE, lengths=[2, 2, 4, 5])
        wait_for(browser, lambda: shown(browser) == (
            str(len(narrowed)), list(narrowed[:PAGE])), "the results of both constraints")
        assert not browser.find_element(By.ID, "pins").is_displayed()
        browser.save_screenshot(str(tmp_path / "constraints.png"))

        # A blank: each result says which letter it became, as the command
        # line prints it.
        with_blank = PHRASE[:-1] + "?"
        phrase.send_keys("\b?")
        result = lexicon.search(with_blank, lengths=[2, 2, 4, 5], distinct=True,
                                **order)
        details = [result.details(index) for index in range(PAGE)]
        wait_for(browser, lambda: shown(browser) == (
            str(len(result)), [list(entry.words) for entry in details]),
            "the results of the phrase with a blank")
        assert letters_shown(browser) == [f"[+{entry.blanks}]" for entry in details]
        browser.execute_script("document.getElementById('results').scrollIntoView()")
        browser.save_screenshot(str(tmp_path / "blanks.png"))
        narrowed = result[:PAGE]

        # An answer to an earlier request never replaces the one on show.
        browser.execute_script(
            "show(page.latest - 1, 'clint eastwoo', {total: 5, offset: 0,"
            " partial: false, solutions: [['stale']]})")
        assert shown(browser) == (str(len(result)), list(narrowed))

        # Whatever a word holds is shown as text, never run or parsed.
        browser.execute_script(
            "show(page.latest, 'x', {total: 1, offset: 0, partial: false,"
            " solutions: [['<img src=x onerror=\"window.ran=1\">', '<script>']]})")
        assert shown(browser)[1] == [['<img src=x onerror="window.ran=1">', "<script>"]]
        assert browser.find_elements(By.CSS_SELECTOR, "#results img, #results script") == []
        assert browser.execute_script("return window.ran") is None

        # Pins take letters as the engine folds them, accents aside, and a
        # blank for a letter the phrase lacks.
        assert browser.execute_script(
            "return remainingLetters('Façade?', ['café', 'x'])") == {
            "remaining": "ad", "missing": None}
        assert browser.execute_script(
            "return remainingLetters('Œuvre, Ørsted, Straße! α', ['oeuvre', 'sorted'])") == {
            "remaining": "strasse", "missing": None}
        # By the engine's own table: letters that the browser's decomposition
        # would lose (ƀ, ɓ) or keep (the Kelvin sign) come out alike.
        every_letter = "".join(capabilities.fold_table()) + "\u212aǅﬁ1α?-Z"
        assert browser.execute_script("return pinKey(arguments[0])", every_letter) == (
            fold(every_letter))

        # A pin typed otherwise than the dictionary spells it comes back in
        # the dictionary's spelling, marked as pinned, and selecting it there
        # releases that pin.
        assert browser.execute_script(
            "page.pins = ['Room', 'cafe'];"
            " const item = resultItem(['dirty', 'room', 'café'], 0, 1, '');"
            " unpin('room');"
            " return [[...item.querySelectorAll('.word')].map((word) =>"
            " word.className), page.pins];") == [
            ["word", "word pinned-word", "word pinned-word"], ["cafe"]]


def test_the_page_still_searches_when_its_description_is_refused(browser):
    # As from a proxy in front of the server that refuses that one request.
    refuse_info = """
        const serverFetch = window.fetch;
        window.fetch = (url, options) => url === "/api/info"
          ? Promise.resolve(new Response('{"error": "refused"}', {
              status: 503, headers: {"content-type": "application/json"}}))
          : serverFetch(url, options);"""
    with running_server("--port", "0") as (_, address):
        injected = browser.execute_cdp_cmd(
            "Page.addScriptToEvaluateOnNewDocument", {"source": refuse_info})
        try:
            browser.get(address)
            browser.find_element(By.ID, "phrase").send_keys("dormitory")
            wait_for(browser, lambda: shown(browser)[0] is not None, "results")
            assert shown(browser) == ("70", list(Lexicon.english().search("dormitory")[:PAGE]))
            assert browser.find_element(By.ID, "ranking-unavailable").is_displayed()
        finally:
            browser.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument",
                                    {"identifier": injected["identifier"]})
